// Properties of the encoder's output that the container relies on. Decoding itself is checked
// by libmspack, chmlib and 7-Zip in libs/chm/tests (an LZX decoder of our own could share our
// misreadings of the format).
#include "lzx/encoder.h"

#include <gtest/gtest.h>
#include <random>

namespace lzx {
namespace {

std::vector<std::uint8_t> mixedInput(std::size_t size) {
    // Runs of text-like bytes with repeats, interrupted by noise.
    std::mt19937 rng(7);
    std::vector<std::uint8_t> data;
    const std::string words[] = {"<p>", "</p>", "help ", "topic ", "index", ".htm\"", "<a href=\""};
    while (data.size() < size) {
        if (rng() % 50 == 0) {
            for (int i = 0; i < 200; ++i)
                data.push_back(static_cast<std::uint8_t>(rng()));
        } else {
            const std::string& w = words[rng() % std::size(words)];
            data.insert(data.end(), w.begin(), w.end());
        }
    }
    data.resize(size);
    return data;
}

TEST(Encoder, FrameOffsetsOnePerFrameAscendingAndWordAligned) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{32768},
                                   std::size_t{32769}, std::size_t{200000}}) {
        const auto input = mixedInput(size);
        const CompressedSection out = compress(input);
        const std::size_t frames = size / kFrameSize + 1; // padding: at least one byte
        ASSERT_EQ(out.frameOffsets.size(), frames) << "size " << size;
        EXPECT_EQ(out.frameOffsets[0], 0u);
        for (std::size_t i = 0; i < frames; ++i) {
            EXPECT_EQ(out.frameOffsets[i] % 2, 0u) << "frame " << i;
            EXPECT_TRUE(i == 0 || out.frameOffsets[i] > out.frameOffsets[i - 1]) << "frame " << i;
        }
        EXPECT_EQ(out.data.size() % 2, 0u);
        EXPECT_GT(out.data.size(), out.frameOffsets.back());
        EXPECT_EQ(out.uncompressedLength, size);
    }
}

TEST(Encoder, PiecesCompressExactlyAsTheirJoinedBytes) {
    // Pieces that end inside, exactly at and across interval boundaries, empty ones included.
    const auto input = mixedInput(300'000);
    std::mt19937 rng(11);
    std::vector<std::span<const std::uint8_t>> pieces;
    std::size_t at = 0;
    while (at < input.size()) {
        std::size_t length = rng() % 5 == 0 ? 0 : rng() % 90'000;
        if (rng() % 7 == 0) {
            length = kResetInterval - at % kResetInterval; // up to the next boundary exactly
        }
        length = std::min(length, input.size() - at);
        pieces.emplace_back(input.data() + at, length);
        at += length;
    }
    pieces.emplace_back(); // an empty last piece
    const CompressedSection joined = compress(input, {2});
    const CompressedSection gathered =
        compress(std::span<const std::span<const std::uint8_t>>(pieces), {2});
    EXPECT_EQ(gathered.data, joined.data);
    EXPECT_EQ(gathered.frameOffsets, joined.frameOffsets);
    EXPECT_EQ(gathered.uncompressedLength, input.size());
}

TEST(Encoder, IncompressibleFramesStayWithinChmlibsFrameLimit) {
    std::mt19937 rng(1);
    std::vector<std::uint8_t> input(300000);
    for (auto& b : input)
        b = static_cast<std::uint8_t>(rng());
    const CompressedSection out = compress(input);
    auto offsets = out.frameOffsets;
    offsets.push_back(out.data.size());
    for (std::size_t i = 0; i + 1 < offsets.size(); ++i)
        EXPECT_LE(offsets[i + 1] - offsets[i], 32768u + 6144u) << "frame " << i;
    // Stored, not expanded much: a block header and the repeat queue per frame.
    EXPECT_LT(out.data.size(), input.size() + input.size() / 1000 + 64);
}

} // namespace
} // namespace lzx
