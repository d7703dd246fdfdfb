// LZX round trips: section 1 compressed by our encoder, read back by libmspack (which has no raw
// LZX interface, so the stream travels in a container of ours) and by our reader's decoder.
#include "chm/reader_archive.h"
#include "container_test_support.h"
#include "lzx/encoder.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace container_test {
namespace {

class LzxRoundTrip : public ::testing::TestWithParam<Sample> {};

// libmspack's decoder and ours (our reader's; with no warning, so that libmspack did not step in
// for it) both give back every byte.
TEST_P(LzxRoundTrip, LibmspackAndOurReaderReadBackEveryByte) {
    const Sample& sample = GetParam();
    const Bytes chm = buildChm(sample.files);
    const MspackView view = readWithLibmspack(chm);
    ASSERT_TRUE(view.opened);
    EXPECT_TRUE(view.problems.empty()) << ::testing::PrintToString(view.problems);
    chm::ReaderArchive ours;
    ASSERT_EQ(ours.openMemory(chm), chm::ReadError::Ok);
    for (const auto& [name, data] : sample.files) {
        const auto it = view.files.find(name);
        ASSERT_NE(it, view.files.end()) << name;
        EXPECT_TRUE(it->second == data)
            << name << ": " << it->second.size() << " bytes back, " << data.size() << " put in";
        Bytes back;
        EXPECT_EQ(ours.read(name, back, ~std::uint64_t{0}), chm::ReadError::Ok) << name;
        EXPECT_TRUE(back == data) << name << " through our reader";
    }
    EXPECT_TRUE(ours.takeWarnings().empty());
}

INSTANTIATE_TEST_SUITE_P(Samples, LzxRoundTrip, ::testing::ValuesIn(roundTripSamples()),
                         [](const auto& param) { return param.param.name; });

// Our reader decodes ahead on other threads while files are read in stored order. Whatever
// the order of the reads (forwards, with gaps, backwards, a file bigger than the read-ahead
// holds, one of the compiler's own files, a sink that gives up half way), every file comes back
// whole, from disk and from memory.
TEST(LzxRoundTrip, ReaderGivesTheSameBytesInEveryReadOrder) {
    std::vector<std::pair<std::string, Bytes>> files;
    for (int i = 0; i < 240; ++i) {
        const auto size = static_cast<std::size_t>((i * 7919) % 30'000);
        files.push_back({"/p" + std::to_string(1000 + i) + ".htm",
                         i % 9 == 8 ? randomBytes(size, static_cast<std::uint32_t>(i))
                                    : textLike(size, static_cast<std::uint32_t>(i))});
    }
    files.insert(files.begin() + 120, {"/p1119x.bin", textLike(3'000'000, 99)});
    // The compiler's own files are read the plain way; the read-ahead passes over their units.
    files.insert(files.begin() + 60, {"/$Index", textLike(700'000, 98)});
    const Bytes chm = buildChm(files);
    ScratchDir dir;
    writeBytes(dir.path() / "t.chm", chm);

    const std::size_t n = files.size();
    std::vector<std::size_t> forwards(n), gaps, backwards(n);
    for (std::size_t i = 0; i < n; ++i) {
        forwards[i] = i;
        backwards[i] = n - 1 - i;
        if (i % 3 != 1)
            gaps.push_back(i);
    }
    std::vector<std::size_t> twice = gaps;
    twice.insert(twice.end(), forwards.begin(), forwards.end());
    for (const bool fromDisk : {false, true}) {
        for (const auto* order : {&forwards, &gaps, &backwards, &twice}) {
            chm::ReaderArchive archive;
            ASSERT_EQ(fromDisk ? archive.openFile((dir.path() / "t.chm").string())
                               : archive.openMemory(chm),
                      chm::ReadError::Ok);
            // Threads whatever the machine's load, except in one pass that reads the plain way.
            archive.setReadAhead(fromDisk && order == &twice
                                     ? chm::ReaderArchive::ReadAhead::Never
                                     : chm::ReaderArchive::ReadAhead::Always);
            for (const std::size_t i : *order) {
                const auto& [name, data] = files[i];
                const chm::ReaderEntry* entry = archive.find(name);
                ASSERT_NE(entry, nullptr) << name;
                if (i == 30) {
                    std::size_t seen = 0;
                    EXPECT_EQ(archive.stream(
                                  *entry,
                                  [&](const std::uint8_t*, std::size_t size) {
                                      seen += size;
                                      return false;
                                  },
                                  ~std::uint64_t{0}),
                              data.empty() ? chm::ReadError::Ok : chm::ReadError::Aborted);
                    continue;
                }
                Bytes back;
                ASSERT_EQ(archive.read(*entry, back, ~std::uint64_t{0}), chm::ReadError::Ok)
                    << name;
                ASSERT_TRUE(back == data) << name << (fromDisk ? " from disk" : " in memory");
            }
            EXPECT_TRUE(archive.takeWarnings().empty());
        }
    }
}

} // namespace
} // namespace container_test
