// The decoder against our encoder, interval by interval. That both could share a misreading of
// the format is checked elsewhere: the reader's tests decode Microsoft-made files and compare
// with libmspack and extract_chmLib.
#include "lzx/decoder.h"
#include "lzx/encoder.h"

#include <gtest/gtest.h>
#include <random>

namespace lzx {
namespace {

std::vector<std::uint8_t> sample(std::size_t size, bool noise) {
    std::mt19937 rng(5);
    const std::string words[] = {"<p>", "</p>", "help ", "topic ", "index", ".htm\"", "\n  "};
    std::vector<std::uint8_t> data;
    while (data.size() < size) {
        if (noise || rng() % 40 == 0) {
            data.push_back(static_cast<std::uint8_t>(rng()));
        } else {
            const std::string& w = words[rng() % std::size(words)];
            data.insert(data.end(), w.begin(), w.end());
        }
    }
    data.resize(size);
    return data;
}

// Decodes every interval of a compressed section on its own and joins them.
std::vector<std::uint8_t> decodeAll(const CompressedSection& section, std::size_t cut = 0) {
    Decoder decoder(16);
    std::vector<std::uint8_t> joined;
    std::vector<std::uint8_t> buffer(kResetInterval + kDecodeSlack);
    const std::size_t frames = section.frameOffsets.size();
    for (std::size_t f = 0; f < frames; f += kFramesPerReset) {
        const std::size_t from = section.frameOffsets[f];
        std::size_t to = f + kFramesPerReset < frames ? section.frameOffsets[f + kFramesPerReset]
                                                      : section.data.size();
        to -= std::min(cut, to - from);
        const std::size_t start = f * kFrameSize;
        const std::size_t length = std::min<std::size_t>(kResetInterval, (frames - f) * kFrameSize);
        const std::size_t got = decoder.decodeInterval(
            std::span(section.data).subspan(from, to - from), buffer, length);
        joined.insert(joined.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
        if (got < length || start + got >= section.uncompressedLength)
            break;
    }
    joined.resize(std::min<std::size_t>(joined.size(), section.uncompressedLength));
    return joined;
}

TEST(Decoder, GivesBackWhatTheEncoderTookAtEveryBoundary) {
    for (const bool noise : {false, true}) {
        for (const std::size_t size : {0, 1, 32767, 32768, 32769, 65535, 65536, 65537, 400000}) {
            const auto input = sample(size, noise);
            EXPECT_EQ(decodeAll(compress(input, {1})), input) << size << (noise ? " noise" : "");
        }
    }
}

TEST(Decoder, StopsShortOnTruncatedOrDamagedBits) {
    const auto input = sample(100000, false);
    const CompressedSection section = compress(input, {1});
    EXPECT_LT(decodeAll(section, 40).size(), input.size());

    // Damage never makes it write past its buffer or hang; what it gives back differs.
    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
        CompressedSection damaged = section;
        damaged.data[rng() % damaged.data.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        const auto out = decodeAll(damaged);
        EXPECT_LE(out.size(), input.size());
    }
}

} // namespace
} // namespace lzx
