// LZX bitstream constants and the position-slot arithmetic, for the CHM flavour of LZX.
//
// The format in short: the stream is a sequence of 16-bit little-endian words whose bits are read
// from the most significant end. Each block starts with a 3-bit type and a 24-bit uncompressed
// size. Verbatim (1) and aligned-offset (2) blocks carry Huffman code lengths, delta-coded against
// the previous block's through a 20-symbol pretree; uncompressed (3) blocks carry raw bytes after
// the repeated-offset queue. A main-tree symbol is either a literal (0..255) or a match:
// 256 + 8 * position slot + length header. Slots 0..2 repeat one of the last three distances.
//
// Where the published description (Microsoft's CAB SDK LZX document) is wrong, we follow what the
// decoders in the field do (libmspack's lzxd.c lists these):
//  - the uncompressed block's size is the 24 bits after the type, before the alignment padding;
//  - an aligned-offset block sends its aligned tree BEFORE the main and length trees;
//  - in an aligned block an offset with exactly 3 extra bits is sent as the aligned symbol alone
//    (no verbatim bits), not as 3 raw bits;
//  - the slot count is the first slot whose base reaches the window: 32 for our 64 KiB window;
//  - an empty length tree (all lengths 0) is legal when the block has no match longer than 8;
//  - E8 translation must never touch the last 6 bytes of a frame; we sidestep it entirely by
//    sending the E8 flag as 0, as Microsoft's HTML Help compiler does.
#pragma once

#include <bit>
#include <cstdint>

namespace lzx::format {

inline constexpr unsigned kNumChars = 256;
inline constexpr unsigned kNumPositionSlots = 32;                            // window bits 16
inline constexpr unsigned kMainTreeSize = kNumChars + kNumPositionSlots * 8; // 512
inline constexpr unsigned kNumPrimaryLengths = 7; // length header 7 means "see the length tree"
inline constexpr unsigned kLengthTreeSize = 249;
inline constexpr unsigned kAlignedTreeSize = 8;
inline constexpr unsigned kPretreeSize = 20;

inline constexpr unsigned kMinMatch = 2;
inline constexpr unsigned kMaxMatch = kMinMatch + kNumPrimaryLengths + kLengthTreeSize - 1; // 257
// Slot 31's last distance: base 49152 + 2^14 - 1 - 2. Longer reaches would need slot 32, which a
// 64 KiB window does not have.
inline constexpr unsigned kMaxDistance = 65533;

inline constexpr unsigned kMaxCodeLength = 16;        // main and length trees
inline constexpr unsigned kMaxPretreeCodeLength = 15; // sent in 4 bits
inline constexpr unsigned kMaxAlignedCodeLength = 7;  // sent in 3 bits

inline constexpr unsigned kBlockVerbatim = 1;
inline constexpr unsigned kBlockAligned = 2;
inline constexpr unsigned kBlockUncompressed = 3;

// Pretree symbols beyond the 17 length deltas.
inline constexpr unsigned kPretreeZeros4 = 17;  // 4 extra bits: 4..19 zero lengths
inline constexpr unsigned kPretreeZeros20 = 18; // 5 extra bits: 20..51 zero lengths
inline constexpr unsigned kPretreeSame = 19;    // 1 extra bit: 4..5 equal lengths, then a delta

// Extra (footer) bits of a position slot: 0 for slots 0..3, slot / 2 - 1 up to slot 35.
constexpr unsigned extraBits(unsigned slot) {
    return slot < 4 ? 0 : slot / 2 - 1;
}

constexpr std::uint32_t positionBase(unsigned slot) {
    if (slot < 4) {
        return slot;
    }
    // Slots pair up: 4,6 | 8,12 | 16,24 | ... i.e. (2 or 3) << (slot / 2 - 1).
    return (2u + (slot & 1u)) << (slot / 2 - 1);
}

// The slot for an explicit (non-repeat) distance. Distances are "formatted" as d + 2, because
// slots 0..2 are taken by the repeat queue.
constexpr unsigned slotForDistance(std::uint32_t distance) {
    const std::uint32_t formatted = distance + 2; // >= 3
    const unsigned highBit = static_cast<unsigned>(std::bit_width(formatted)) - 1;
    return 2 * highBit + ((formatted >> (highBit - 1)) & 1u);
}

static_assert(positionBase(31) == 49152 && extraBits(31) == 14);
static_assert(slotForDistance(1) == 3 && slotForDistance(2) == 4 && slotForDistance(3) == 4);
static_assert(slotForDistance(4) == 5 && slotForDistance(6) == 6 && slotForDistance(65533) == 31);
static_assert(slotForDistance(49150) == 31 && slotForDistance(49149) == 30);

} // namespace lzx::format
