// Opening and reading help files, good and damaged, from disk and from memory.
#include "chm/byte_cursor.h"
#include "chm/reader_archive.h"
#include "reader_fixture.h"

#include <gtest/gtest.h>
#include <mspack.h>

using namespace readertest;
using chm::ReadError;

namespace {

constexpr std::uint64_t kCap = 16u << 20;

// Where section 0 starts, as the ITSF header says.
std::size_t sectionZero(const std::vector<std::uint8_t>& bytes) {
    return static_cast<std::size_t>(chm::ByteCursor(bytes).at(0x58).u64());
}

// Our fixture with one byte of its LZX stream changed at `at` (a fraction of its length).
std::vector<std::uint8_t> damagedContent(double at) {
    std::vector<std::uint8_t> bytes = readBytes(sampleChm());
    chm::ReaderArchive probe;
    EXPECT_EQ(probe.openMemory(bytes), ReadError::Ok);
    const chm::ReaderEntry* content = probe.find("::DataSpace/Storage/MSCompressed/Content");
    bytes.at(sectionZero(bytes) + content->offset +
             static_cast<std::size_t>(at * double(content->length))) ^= 0x5A;
    return bytes;
}

// Section 1 is decoded by our own LZX decoder, and by libmspack where ours gives up; either way
// every file libmspack reads reads the same: on our file, on damaged copies of it and on the
// Microsoft-made files when they are at hand. Files are read in directory order, which jumps
// back and forth in the compressed section.
TEST(ReaderArchive, DecodesEveryFileAsLibmspackDoes) {
    ScratchDir scratch;
    std::vector<std::filesystem::path> files{sampleChm()};
    for (const double at : {0.3, 0.6, 0.9}) {
        files.push_back(scratch.path() / ("damaged" + std::to_string(files.size()) + ".chm"));
        writeBytes(files.back(), damagedContent(at));
    }
    for (const char* name : {"help1.chm", "help2.chm"})
        if (std::filesystem::exists(std::filesystem::path(QUORLIN_MS_FIXTURES) / name))
            files.push_back(std::filesystem::path(QUORLIN_MS_FIXTURES) / name);
    const std::string out = (scratch.path() / "out").string();
    for (const auto& file : files) {
        mschm_decompressor* ms = mspack_create_chm_decompressor(nullptr);
        mschmd_header* header = ms->open(ms, file.c_str());
        ASSERT_NE(header, nullptr) << file;
        chm::ReaderArchive archive;
        ASSERT_EQ(archive.openFile(file.string()), ReadError::Ok);
        for (mschmd_file* f = header->files; f; f = f->next) {
            const bool theirs = ms->extract(ms, f, out.c_str()) == MSPACK_ERR_OK;
            std::vector<std::uint8_t> got;
            const bool ours = archive.read(f->filename, got, kCap) == ReadError::Ok;
            // libmspack gives up on every file after damage until it restarts; we decode each
            // interval on its own, so only the files of the damaged one are lost.
            EXPECT_TRUE(ours || !theirs) << file << " " << f->filename;
            EXPECT_TRUE(theirs || file.filename().string().starts_with("damaged")) << f->filename;
            if (ours && theirs) {
                EXPECT_EQ(got, readBytes(out)) << file << " " << f->filename;
            }
        }
        // Our decoder read every interval of the good files (libmspack's would mask a fault).
        EXPECT_TRUE(archive.takeWarnings().empty() ||
                    file.filename().string().starts_with("damaged"))
            << file;
        ms->close(ms, header);
        mspack_destroy_chm_decompressor(ms);
    }
}

TEST(ReaderArchive, FindsNamesInAnyCaseAndRefusesFilesLargerThanTheCallerAllows) {
    chm::ReaderArchive archive;
    ASSERT_EQ(archive.openFile(sampleChm().string()), ReadError::Ok);
    // Lookup ignores case and the leading slash, as every reader of the format does.
    EXPECT_NE(archive.find("/SUB/Page2.HTM"), nullptr);
    EXPECT_NE(archive.find("#SYSTEM"), nullptr);
    EXPECT_EQ(archive.find("missing.htm"), nullptr);
    std::vector<std::uint8_t> got;
    EXPECT_EQ(archive.read("long.htm", got, 1000), ReadError::TooLarge);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(archive.read("style.css", got, kCap), ReadError::Ok); // and it reads on
}

struct BadFile {
    const char* label;
    std::vector<std::uint8_t> bytes;
    ReadError expected;
};

std::vector<BadFile> badFiles() {
    std::vector<std::uint8_t> good = readBytes(sampleChm());
    std::vector<BadFile> out;
    out.push_back({"empty", {}, ReadError::NotChm});
    out.push_back({"text", std::vector<std::uint8_t>(500, 'x'), ReadError::NotChm});
    out.push_back({"short text", std::vector<std::uint8_t>(22, 'x'), ReadError::NotChm});
    auto shortHeader = good;
    shortHeader.resize(20);
    out.push_back({"cut inside the header", shortHeader, ReadError::Corrupt});
    auto header = good;
    header.resize(0x60);
    out.push_back({"header only", header, ReadError::Corrupt});
    auto guid = good;
    guid[0x28] = 0x10; // the second GUID as a known third-party writer gets it wrong
    out.push_back({"wrong second GUID", guid, ReadError::NotChm});
    auto chunks = good;
    chunks[0x78 + 0x10] = 0; // ITSP chunk size of 0x10000: larger than any reader accepts
    chunks[0x78 + 0x12] = 1;
    out.push_back({"huge chunk size", chunks, ReadError::Corrupt});
    return out;
}

TEST(ReaderArchive, ReportsUnreadableFilesWithAReason) {
    for (const BadFile& bad : badFiles()) {
        chm::ReaderArchive archive;
        ReadError err = archive.openMemory(bad.bytes);
        EXPECT_EQ(err, bad.expected) << bad.label;
        EXPECT_FALSE(archive.isOpen()) << bad.label;
        EXPECT_NE(std::string(chm::readErrorText(err)), "") << bad.label;
    }
    chm::ReaderArchive archive;
    EXPECT_EQ(archive.openFile("/nonexistent/quorlin.chm"), ReadError::CannotOpen);
}

// Damage past the headers: the file opens, single files fail, nothing crashes or hangs.
TEST(ReaderArchive, DamagedContentFailsPerFile) {
    std::vector<std::uint8_t> good = readBytes(sampleChm());

    std::vector<std::uint8_t> truncated(
        good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() * 2 / 3));
    std::vector<std::uint8_t> lyingTable = good;
    std::size_t rt = std::string::npos;
    {
        chm::ReaderArchive probe;
        ASSERT_EQ(probe.openMemory(good), ReadError::Ok);
        for (const auto& e : probe.entries())
            if (e.name.find("ResetTable") != std::string::npos)
                rt = e.offset;
        ASSERT_NE(rt, std::string::npos);
        rt += sectionZero(good);
    }
    for (std::size_t i = rt + 0x28 + 8; i + 8 <= rt + 0x28 + 8 * 4; ++i)
        lyingTable[i] = 0xEE; // frame offsets 1..3 point far past the compressed stream

    std::vector<std::uint8_t> longer = good;
    // long.htm's length as stored (ENCINT of 98859 = 86 82 2B) made to claim 2 MiB
    std::size_t at = findBytes(longer, std::string("\x09/long.htm", 10));
    ASSERT_NE(at, std::string::npos);
    std::size_t p = at + 10 + 1; // past the section
    while (longer[p] & 0x80)
        ++p;
    ++p; // past the offset
    ASSERT_EQ(longer[p] & 0x80, 0x80);
    longer[p] = 0xFF;
    longer[p + 1] = 0xFF;
    longer[p + 2] = 0x7F;

    struct Case {
        const char* label;
        std::vector<std::uint8_t> bytes;
    };
    for (const Case& c : {Case{"truncated", truncated}, Case{"lying reset table", lyingTable},
                          Case{"length past the section", longer}}) {
        chm::ReaderArchive archive;
        ReadError err = archive.openMemory(c.bytes);
        if (err != ReadError::Ok)
            continue; // refusing the whole file is fine too
        std::size_t failed = 0;
        for (const auto& e : archive.entries()) {
            std::vector<std::uint8_t> got;
            ReadError r = archive.read(e, got, kCap);
            if (r != ReadError::Ok)
                ++failed;
            else
                EXPECT_EQ(got.size(), e.length) << c.label << " " << e.name;
        }
        EXPECT_GT(failed, 0u) << c.label;
    }
}

} // namespace
