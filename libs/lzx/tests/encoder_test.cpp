// The encoder's output as the container relies on it, and the decoder against the encoder,
// interval by interval. That both could share a misreading of the format is checked in
// libs/chm/tests: libmspack, chmlib and 7-Zip read what the encoder writes, and the reader's
// decoding of Microsoft-made files is compared with libmspack's.
#include "bit_writer.h"
#include "format.h"
#include "lzx/decoder.h"
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

// Decodes every interval of a compressed section on its own and joins them; `cut` bytes are
// taken off the end of each interval's bits.
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
        const std::size_t length = std::min<std::size_t>(kResetInterval, (frames - f) * kFrameSize);
        const std::size_t got = decoder.decodeInterval(
            std::span(section.data).subspan(from, to - from), buffer, length);
        joined.insert(joined.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
        if (got < length || joined.size() >= section.uncompressedLength)
            break;
    }
    joined.resize(std::min<std::size_t>(joined.size(), section.uncompressedLength));
    return joined;
}

// One frame offset per frame (the data is padded by at least one byte), and every interval
// decodes back on its own: empty, one byte, and either side of frame and reset boundaries.
TEST(Decoder, GivesBackWhatTheEncoderTookAtEveryBoundary) {
    for (const std::size_t size : {0, 1, 32767, 32768, 32769, 65535, 65536, 65537, 400000}) {
        const auto input = mixedInput(size);
        const CompressedSection section = compress(input, {1});
        EXPECT_EQ(section.frameOffsets.size(), size / kFrameSize + 1) << size;
        EXPECT_EQ(decodeAll(section), input) << size;
    }
}

// Damaged bits are the lzx_decode fuzz target's: they never make it write past its buffer.
TEST(Decoder, StopsShortOnTruncatedBits) {
    const auto input = mixedInput(100000);
    EXPECT_LT(decodeAll(compress(input, {1}), 40).size(), input.size());
}

// One interval of uncompressed blocks, by hand, decoded: the bytes it gives back.
std::string decodeStored(std::uint32_t translationSize, const std::vector<std::string>& blocks) {
    std::vector<std::uint8_t> bits;
    BitWriter writer(bits);
    writer.put(translationSize != 0, 1);
    if (translationSize != 0) {
        writer.put(translationSize >> 16, 16);
        writer.put(translationSize & 0xFFFF, 16);
    }
    std::size_t length = 0;
    for (const std::string& text : blocks) {
        writer.put(format::kBlockUncompressed, 3);
        writer.put(static_cast<std::uint32_t>(text.size()), 24);
        writer.alignToWord(); // none of these headers ends on a word
        const std::uint8_t queue[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}; // R0, R1, R2
        writer.putAlignedBytes(queue, sizeof queue);
        writer.putAlignedBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        if (text.size() % 2 != 0)
            writer.putAlignedBytes(queue + 1, 1); // the pad byte after an odd length
        length += text.size();
    }
    Decoder decoder(16);
    std::vector<std::uint8_t> out(length + kDecodeSlack);
    const std::size_t got = decoder.decodeInterval(bits, out, length);
    return std::string(out.begin(), out.begin() + static_cast<long>(got));
}

// Cases our encoder never writes: uncompressed blocks of odd length, and call translation
// (an absolute target after 0xE8 goes back to relative, except in a frame's last 10 bytes).
TEST(Decoder, ReadsOddStoredBlocksAndUndoesCallTranslation) {
    EXPECT_EQ(decodeStored(0, {"abc", "defgh"}), "abcdefgh");
    using namespace std::string_literals;
    const std::string call = "\x90\xE8\x10\0\0\0\xE8\x10\0\0\0\x90\x90\x90\x90\x90"s;
    std::string relative = call;
    relative[2] = 0x0F; // target 16 seen from position 1
    EXPECT_EQ(decodeStored(1000, {call}), relative);
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
    EXPECT_EQ(decodeAll(out), input);
}

} // namespace
} // namespace lzx
