// Turns one reset interval (at most 64 KiB, empty history) into LZX tokens: a quick greedy pass
// learns what symbols cost in this interval, then a lazy hash-chain parse with two positions of
// lookahead chooses tokens by those prices, keeping LZX's repeat queue in view.
#pragma once

#include "format.h"

#include <array>
#include <cstdint>
#include <vector>

namespace lzx {

// One literal or match, already in the form the block coder sends.
struct Token {
    std::uint16_t mainSymbol;  // literal byte, or 256 + 8 * slot + length header
    std::uint8_t lengthSymbol; // the length tree's symbol when the length header is 7
    std::uint8_t footerBits;   // extra offset bits of the slot (0 for repeats and short slots)
    std::uint32_t footer;      // their value
};

// Symbol counts of a stretch of tokens, for building trees and pricing blocks.
struct SymbolCounts {
    std::array<std::uint32_t, format::kMainTreeSize> main{};
    std::array<std::uint32_t, format::kLengthTreeSize> length{};
    std::array<std::uint32_t, format::kAlignedTreeSize> aligned{}; // footer & 7 if footerBits >= 3
    std::uint64_t footerBits = 0;     // all extra bits, as a verbatim block sends them
    std::uint32_t alignedFooters = 0; // matches whose low 3 footer bits an aligned block would code
};

// The repeated-offset queue, R0..R2. Every reset starts it at 1, 1, 1.
struct RecentOffsets {
    std::uint32_t r[3] = {1, 1, 1};
};

// Tokens for one interval, split at its frame boundary (tokens never cross one).
struct IntervalTokens {
    std::vector<Token> tokens;
    std::array<std::size_t, 3> frameStart{}; // token index where frame f starts; [frames] = end
    std::array<SymbolCounts, 2> counts;      // per frame
    std::array<RecentOffsets, 2> queueAtEnd; // the queue after each frame's last token
    unsigned frames = 0;                     // 1 or 2
};

class Parser {
public:
    Parser();

    // data holds size bytes (size a multiple of the frame size, at most one reset interval)
    // followed by at least kReadSlack readable bytes. Bytes from realEnd on are the final frame's
    // zero padding; no match straddles realEnd, so the real data ends on a token boundary.
    void parse(const std::uint8_t* data, std::uint32_t size, std::uint32_t realEnd,
               IntervalTokens& out);

    static constexpr std::uint32_t kReadSlack = 16;

private:
    struct Candidate {
        std::uint32_t length = 0;
        std::uint32_t distance = 0;
        int repeatIndex = -1; // 0..2 when the distance is R0..R2
        int gain = 0;         // bits saved against sending the same bytes as literals
    };
    // Bit prices of main- and length-tree symbols.
    struct Prices {
        std::array<std::uint32_t, format::kMainTreeSize> main;
        std::array<std::uint32_t, format::kLengthTreeSize> length;
    };

    void parseGreedy(IntervalTokens& out);
    void parseLazy(const Prices& prices, IntervalTokens& out);
    void resetChains();
    void insertUpTo(std::uint32_t pos);
    Candidate findBest(std::uint32_t pos, std::uint32_t maxLength, const RecentOffsets& queue,
                       const Prices& prices, bool lookahead);
    int gain(std::uint32_t pos, std::uint32_t length, unsigned slot, const Prices& prices) const;
    std::uint32_t limitAt(std::uint32_t pos, std::uint32_t frameEnd) const;

    const std::uint8_t* m_data = nullptr;
    std::uint32_t m_size = 0;
    std::uint32_t m_realEnd = 0;
    std::uint32_t m_inserted = 0;       // positions below this are in the hash tables
    std::vector<std::uint32_t> m_head;  // 4-byte hash -> last position + 1 (0: none)
    std::vector<std::uint16_t> m_prev;  // position -> distance to the previous one with its hash
    std::vector<std::uint32_t> m_head3; // 3-byte hash -> last position + 1 (0: none)
    std::vector<std::uint32_t> m_literalBits; // literal prices summed over positions before each
};

} // namespace lzx
