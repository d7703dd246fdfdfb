// LZX round trips: section 1 compressed by our encoder, read back by libmspack (which has no raw
// LZX interface, so the stream travels in a container of ours).
#include "container_test_support.h"
#include "lzx/encoder.h"

#include <gtest/gtest.h>

namespace container_test {
namespace {

class LzxRoundTrip : public ::testing::TestWithParam<Sample> {};

TEST_P(LzxRoundTrip, LibmspackReadsBackEveryByte) {
    const Sample& sample = GetParam();
    const Bytes chm = buildChm(sample.files);
    const MspackView view = readWithLibmspack(chm);
    ASSERT_TRUE(view.opened);
    EXPECT_TRUE(view.problems.empty()) << ::testing::PrintToString(view.problems);
    for (const auto& [name, data] : sample.files) {
        const auto it = view.files.find(name);
        ASSERT_NE(it, view.files.end()) << name;
        EXPECT_TRUE(it->second == data)
            << name << ": " << it->second.size() << " bytes back, " << data.size() << " put in";
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, LzxRoundTrip, ::testing::ValuesIn(roundTripSamples()),
                         [](const auto& param) { return param.param.name; });

TEST(LzxRoundTrip, ManySmallFilesAcrossFrameAndResetBoundaries) {
    std::vector<std::pair<std::string, Bytes>> files;
    for (int i = 0; i < 1500; ++i) {
        const auto size = static_cast<std::size_t>((i * 7919) % 900);
        files.push_back({"/pages/p" + std::to_string(i) + ".htm",
                         i % 10 == 9 ? randomBytes(size, static_cast<std::uint32_t>(i))
                                     : textLike(size, static_cast<std::uint32_t>(i))});
    }
    const MspackView view = readWithLibmspack(buildChm(files));
    ASSERT_TRUE(view.opened);
    EXPECT_TRUE(view.problems.empty()) << ::testing::PrintToString(view.problems);
    for (const auto& [name, data] : files) {
        EXPECT_TRUE(view.files.count(name) && view.files.at(name) == data) << name;
    }
}

// Over 100 MB in one file: thousands of reset intervals on every core, read back in one pass.
TEST(LzxRoundTrip, OneLargeFile) {
    constexpr std::size_t kSize = 105'000'003;
    Bytes data;
    data.reserve(kSize);
    // Cheap to make: text stretches with noise between, from a few seeds.
    for (std::uint32_t seed = 0; data.size() < kSize; ++seed) {
        const Bytes part =
            seed % 8 == 7 ? randomBytes(50'000, seed) : textLike(1'000'000, seed % 5);
        data.insert(data.end(), part.begin(), part.end());
    }
    data.resize(kSize);
    const Bytes chm = buildChm({{"/big.bin", data}});
    EXPECT_LT(chm.size(), data.size() / 2);
    const MspackView view = readWithLibmspack(chm);
    ASSERT_TRUE(view.opened);
    EXPECT_TRUE(view.problems.empty()) << ::testing::PrintToString(view.problems);
    ASSERT_EQ(view.files.count("/big.bin"), 1u);
    const Bytes& back = view.files.at("/big.bin");
    ASSERT_EQ(back.size(), data.size());
    EXPECT_TRUE(back == data);
}

} // namespace
} // namespace container_test
