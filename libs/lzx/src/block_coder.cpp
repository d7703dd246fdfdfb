// Block layout and tree transmission for one reset interval.
#include "block_coder.h"

#include "huffman.h"
#include "lzx/encoder.h"

#include <algorithm>
#include <array>
#include <span>

namespace lzx {
namespace {

using format::kAlignedTreeSize;
using format::kLengthTreeSize;
using format::kMainTreeSize;
using format::kPretreeSize;

// chmlib refuses a frame whose compressed bytes exceed this (its input buffer size).
constexpr std::uint64_t kMaxCompressedFrameBits = (kFrameSize + 6144) * 8ull;
constexpr std::uint64_t kBlockHeaderBits = 3 + 24;
// An uncompressed block: header, 1..16 alignment bits (priced at the worst), R0..R2, the bytes.
constexpr std::uint64_t kUncompressedOverheadBits = kBlockHeaderBits + 16 + 3 * 32;

struct TreeLengths {
    std::array<std::uint8_t, kMainTreeSize> main{};
    std::array<std::uint8_t, kLengthTreeSize> length{};
};

struct PretreeItem {
    std::uint8_t symbol;
    std::uint8_t extraBits;
    std::uint8_t extra;
};

// One of the three code-length ranges sent through its own pretree.
struct LengthRange {
    std::vector<PretreeItem> items;
    std::array<std::uint8_t, kPretreeSize> pretree{};
    std::uint64_t bits = 0;
};

struct BlockPlan {
    unsigned type = format::kBlockVerbatim;
    TreeLengths lengths;
    std::array<std::uint8_t, kAlignedTreeSize> aligned{};
    std::array<LengthRange, 3> ranges; // main 0..255, main 256..511, length tree
    std::uint64_t headerBits = 0;      // block header and trees
    std::uint64_t bits = 0;            // the whole block
};

constexpr std::uint8_t lengthDelta(std::uint8_t previous, std::uint8_t current) {
    return static_cast<std::uint8_t>((previous + 17 - current) % 17);
}

// Code lengths [first, last) as pretree items, delta-coded against previous. Zero runs use 17/18
// (they set zeros whatever was there); runs of equal (previous, current) pairs use 19, so that
// decoders that apply the first position's delta to the whole run agree with the others.
void encodeRange(std::span<const std::uint8_t> previous, std::span<const std::uint8_t> current,
                 std::size_t first, std::size_t last, LengthRange& range) {
    auto& items = range.items;
    items.clear();
    std::size_t i = first;
    while (i < last) {
        std::size_t run = 1;
        if (current[i] == 0) {
            while (i + run < last && current[i + run] == 0) {
                ++run;
            }
            while (run >= 20) {
                const std::size_t k = std::min<std::size_t>(run, 51);
                items.push_back({format::kPretreeZeros20, 5, static_cast<std::uint8_t>(k - 20)});
                i += k;
                run -= k;
            }
            if (run >= 4) {
                items.push_back({format::kPretreeZeros4, 4, static_cast<std::uint8_t>(run - 4)});
                i += run;
                run = 0;
            }
        } else {
            while (i + run < last && current[i + run] == current[i] &&
                   previous[i + run] == previous[i]) {
                ++run;
            }
            while (run >= 4) {
                const std::size_t k = std::min<std::size_t>(run, 5);
                items.push_back({format::kPretreeSame, 1, static_cast<std::uint8_t>(k - 4)});
                items.push_back({lengthDelta(previous[i], current[i]), 0, 0});
                i += k;
                run -= k;
            }
        }
        for (; run > 0; --run, ++i) {
            items.push_back({lengthDelta(previous[i], current[i]), 0, 0});
        }
    }

    std::array<std::uint32_t, kPretreeSize> counts{};
    for (const PretreeItem& item : items) {
        ++counts[item.symbol];
    }
    buildCodeLengths(counts, format::kMaxPretreeCodeLength, range.pretree);
    range.bits = kPretreeSize * 4;
    for (const PretreeItem& item : items) {
        range.bits += range.pretree[item.symbol] + item.extraBits;
    }
}

template <std::size_t N>
std::uint64_t symbolBits(const std::array<std::uint32_t, N>& counts,
                         const std::array<std::uint8_t, N>& lengths) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < N; ++i) {
        bits += std::uint64_t{counts[i]} * lengths[i];
    }
    return bits;
}

// Bits of the token stream for counts under a plan's codes.
std::uint64_t tokenBits(const SymbolCounts& counts, const BlockPlan& plan) {
    std::uint64_t bits = symbolBits(counts.main, plan.lengths.main) +
                         symbolBits(counts.length, plan.lengths.length) + counts.footerBits;
    if (plan.type == format::kBlockAligned) {
        bits -= 3ull * counts.alignedFooters;
        bits += symbolBits(counts.aligned, plan.aligned);
    }
    return bits;
}

// The best compressed block for these counts, its trees delta-coded against previous.
void planCompressed(const SymbolCounts& counts, const TreeLengths& previous, BlockPlan& plan) {
    buildCodeLengths(counts.main, format::kMaxCodeLength, plan.lengths.main);
    buildCodeLengths(counts.length, format::kMaxCodeLength, plan.lengths.length);
    encodeRange(previous.main, plan.lengths.main, 0, format::kNumChars, plan.ranges[0]);
    encodeRange(previous.main, plan.lengths.main, format::kNumChars, kMainTreeSize, plan.ranges[1]);
    encodeRange(previous.length, plan.lengths.length, 0, kLengthTreeSize, plan.ranges[2]);

    const std::uint64_t treeBits = plan.ranges[0].bits + plan.ranges[1].bits + plan.ranges[2].bits;
    plan.type = format::kBlockVerbatim;
    plan.headerBits = kBlockHeaderBits + treeBits;
    plan.bits = plan.headerBits + tokenBits(counts, plan);

    if (counts.alignedFooters != 0) {
        buildCodeLengths(counts.aligned, format::kMaxAlignedCodeLength, plan.aligned);
        plan.type = format::kBlockAligned;
        const std::uint64_t alignedBits =
            kBlockHeaderBits + kAlignedTreeSize * 3 + treeBits + tokenBits(counts, plan);
        if (alignedBits < plan.bits) {
            plan.headerBits = kBlockHeaderBits + kAlignedTreeSize * 3 + treeBits;
            plan.bits = alignedBits;
        } else {
            plan.type = format::kBlockVerbatim;
        }
    }
}

SymbolCounts sum(const SymbolCounts& a, const SymbolCounts& b) {
    SymbolCounts s = a;
    for (std::size_t i = 0; i < s.main.size(); ++i) {
        s.main[i] += b.main[i];
    }
    for (std::size_t i = 0; i < s.length.size(); ++i) {
        s.length[i] += b.length[i];
    }
    for (std::size_t i = 0; i < s.aligned.size(); ++i) {
        s.aligned[i] += b.aligned[i];
    }
    s.footerBits += b.footerBits;
    s.alignedFooters += b.alignedFooters;
    return s;
}

// Codes for writing, made from a plan's lengths.
struct Codes {
    std::array<std::uint16_t, kMainTreeSize> main{};
    std::array<std::uint16_t, kLengthTreeSize> length{};
    std::array<std::uint16_t, kAlignedTreeSize> aligned{};
};

void writeRange(const LengthRange& range, BitWriter& writer) {
    for (const std::uint8_t len : range.pretree) {
        writer.put(len, 4);
    }
    std::array<std::uint16_t, kPretreeSize> codes{};
    buildCodes(range.pretree, codes);
    for (const PretreeItem& item : range.items) {
        writer.put(codes[item.symbol], range.pretree[item.symbol]);
        if (item.extraBits != 0) {
            writer.put(item.extra, item.extraBits);
        }
    }
}

void writeBlockHeader(const BlockPlan& plan, std::uint32_t size, BitWriter& writer, Codes& codes) {
    writer.put(plan.type, 3);
    writer.put(size, 24);
    if (plan.type == format::kBlockAligned) {
        for (const std::uint8_t len : plan.aligned) {
            writer.put(len, 3);
        }
        buildCodes(plan.aligned, codes.aligned);
    }
    for (const LengthRange& range : plan.ranges) {
        writeRange(range, writer);
    }
    buildCodes(plan.lengths.main, codes.main);
    buildCodes(plan.lengths.length, codes.length);
}

void writeTokens(std::span<const Token> tokens, const BlockPlan& plan, const Codes& codes,
                 BitWriter& writer) {
    const auto& mainLen = plan.lengths.main;
    const auto& lengthLen = plan.lengths.length;
    const bool aligned = plan.type == format::kBlockAligned;
    for (const Token& t : tokens) {
        writer.put(codes.main[t.mainSymbol], mainLen[t.mainSymbol]);
        if (t.mainSymbol < format::kNumChars) {
            continue;
        }
        if ((t.mainSymbol & 7) == format::kNumPrimaryLengths) {
            writer.put(codes.length[t.lengthSymbol], lengthLen[t.lengthSymbol]);
        }
        if (aligned && t.footerBits >= 3) {
            if (t.footerBits > 3) {
                writer.put(t.footer >> 3, t.footerBits - 3u);
            }
            writer.put(codes.aligned[t.footer & 7], plan.aligned[t.footer & 7]);
        } else if (t.footerBits != 0) {
            writer.put(t.footer, t.footerBits);
        }
    }
}

void writeUncompressed(const std::uint8_t* bytes, const RecentOffsets& queue, BitWriter& writer) {
    writer.put(format::kBlockUncompressed, 3);
    writer.put(kFrameSize, 24);
    // Decoders skip 1..16 bits here: a whole word when the header ended on a word boundary.
    if (writer.pendingBits() % 16 == 0) {
        writer.put(0, 16);
    }
    writer.alignToWord();
    std::uint8_t offsets[12];
    for (int j = 0; j < 3; ++j) {
        for (int b = 0; b < 4; ++b) {
            offsets[4 * j + b] = static_cast<std::uint8_t>(queue.r[j] >> (8 * b));
        }
    }
    writer.putAlignedBytes(offsets, sizeof offsets);
    // kFrameSize is even, so no pad byte follows and the next block starts word-aligned.
    writer.putAlignedBytes(bytes, kFrameSize);
}

std::span<const Token> frameTokens(const IntervalTokens& parsed, unsigned frame) {
    return std::span<const Token>(parsed.tokens)
        .subspan(parsed.frameStart[frame], parsed.frameStart[frame + 1] - parsed.frameStart[frame]);
}

} // namespace

void encodeInterval(const IntervalTokens& parsed, const std::uint8_t* data, BitWriter& writer,
                    std::vector<std::uint64_t>& frameStarts) {
    constexpr std::uint64_t kUncompressedBits = kUncompressedOverheadBits + kFrameSize * 8ull;
    const TreeLengths empty{};

    // Per-frame choices: for each frame either a compressed plan or an uncompressed block.
    // frameCompressed[f] says which; plans[f] holds the compressed plan.
    BlockPlan plans[2];
    bool frameCompressed[2] = {false, false};

    planCompressed(parsed.counts[0], empty, plans[0]);
    const bool firstCompressed = plans[0].bits < kUncompressedBits;
    std::uint64_t splitBits = firstCompressed ? plans[0].bits : kUncompressedBits;
    frameCompressed[0] = firstCompressed;

    frameStarts.push_back(writer.byteCount()); // the interval starts on a word boundary
    writer.put(0, 1); // E8 translation off, as Microsoft's compiler writes it

    if (parsed.frames == 2) {
        planCompressed(parsed.counts[1], firstCompressed ? plans[0].lengths : empty, plans[1]);
        frameCompressed[1] = plans[1].bits < kUncompressedBits;
        splitBits += frameCompressed[1] ? plans[1].bits : kUncompressedBits;

        // One block over both frames, if it is smaller and keeps each frame within chmlib's cap.
        BlockPlan whole;
        planCompressed(sum(parsed.counts[0], parsed.counts[1]), empty, whole);
        const std::uint64_t firstFrameBits =
            1 + whole.headerBits + tokenBits(parsed.counts[0], whole);
        const std::uint64_t secondFrameBits = tokenBits(parsed.counts[1], whole);
        if (whole.bits < splitBits && firstFrameBits <= kMaxCompressedFrameBits &&
            secondFrameBits + 15 <= kMaxCompressedFrameBits) {
            Codes codes;
            writeBlockHeader(whole, 2 * kFrameSize, writer, codes);
            writeTokens(frameTokens(parsed, 0), whole, codes, writer);
            writer.alignToWord();
            frameStarts.push_back(writer.byteCount());
            writeTokens(frameTokens(parsed, 1), whole, codes, writer);
            writer.alignToWord();
            return;
        }
    }

    for (unsigned f = 0; f < parsed.frames; ++f) {
        if (f > 0) {
            frameStarts.push_back(writer.byteCount());
        }
        if (frameCompressed[f]) {
            Codes codes;
            writeBlockHeader(plans[f], kFrameSize, writer, codes);
            writeTokens(frameTokens(parsed, f), plans[f], codes, writer);
        } else {
            writeUncompressed(data + f * kFrameSize, parsed.queueAtEnd[f], writer);
        }
        writer.alignToWord();
    }
}

} // namespace lzx
