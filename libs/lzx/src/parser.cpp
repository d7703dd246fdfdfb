// Hash-chain match finder with one-step lazy evaluation, priced for LZX's repeat queue.
#include "parser.h"

#include "lzx/encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lzx {
namespace {

// ---------------------------------------------------------------------------------------------
// Tunables
//
// The parser compares choices by an estimate of the bits each one costs, since the real Huffman
// codes are only known once the block is parsed. The estimates below are averages measured on
// HTML help content (tags, English and CJK text, CSS, scripts): literals cost a little under a
// byte after Huffman coding, a match symbol costs about as much as a literal, a repeat-offset
// match symbol less (there are only 24 of them and they are frequent in markup), and a match
// longer than 8 bytes pays for a length-tree symbol too. The footer bits are exact. These only
// steer the choices; the block coder prices the final stream exactly.
//
// The chain depth and the "nice" length trade speed for ratio as in zlib's levels: we aim at
// zlib -6's throughput per core while sending smaller output than other CHM writers. The window
// is only 64 KiB and every reset interval starts empty, so chains are short anyway; 15 hash bits
// keep the head table (128 KiB) in cache and collisions rare for 64 Ki positions.
// ---------------------------------------------------------------------------------------------
constexpr unsigned kHashBits = 15;
constexpr unsigned kMaxChain = 48;        // candidates tried per position
constexpr unsigned kLazyMaxChain = 16;    // candidates tried at the next position, lazy step
constexpr std::uint32_t kNiceLength = 96; // stop searching and take a match this long
constexpr int kLiteralBits = 7;
constexpr int kMatchSymbolBits = 8;
constexpr int kRepeatSymbolBits = 6;
constexpr int kLengthSymbolBits = 4;
constexpr int kLazyMargin = 1; // a match one position later must win by more than this

constexpr std::uint32_t kHashSize = 1u << kHashBits;

inline std::uint32_t hash3(const std::uint8_t* p) {
    const std::uint32_t v =
        std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
    return (v * 0x9E3779B1u) >> (32 - kHashBits);
}

// Length of the common prefix of a and b, at most maxLength. Both may be read up to 7 bytes past
// maxLength (the caller's slack).
inline std::uint32_t commonLength(const std::uint8_t* a, const std::uint8_t* b,
                                  std::uint32_t maxLength) {
    std::uint32_t len = 0;
    if constexpr (std::endian::native == std::endian::little) {
        while (len + 8 <= maxLength) {
            std::uint64_t x;
            std::uint64_t y;
            std::memcpy(&x, a + len, 8);
            std::memcpy(&y, b + len, 8);
            if (const std::uint64_t diff = x ^ y; diff != 0) {
                return len + static_cast<std::uint32_t>(std::countr_zero(diff)) / 8;
            }
            len += 8;
        }
    }
    while (len < maxLength && a[len] == b[len]) {
        ++len;
    }
    return len;
}

inline int lengthCost(std::uint32_t length) {
    return length - format::kMinMatch >= format::kNumPrimaryLengths ? kLengthSymbolBits : 0;
}

inline int explicitGain(std::uint32_t length, std::uint32_t distance) {
    const int cost = kMatchSymbolBits + lengthCost(length) +
                     static_cast<int>(format::extraBits(format::slotForDistance(distance)));
    return static_cast<int>(length) * kLiteralBits - cost;
}

inline int repeatGain(std::uint32_t length) {
    return static_cast<int>(length) * kLiteralBits - (kRepeatSymbolBits + lengthCost(length));
}

} // namespace

Parser::Parser() : m_head(kHashSize), m_prev(kResetInterval) {}

void Parser::insertUpTo(std::uint32_t pos) {
    for (std::uint32_t p = m_inserted; p < pos; ++p) {
        const std::uint32_t h = hash3(m_data + p);
        const std::uint32_t old = m_head[h];
        m_head[h] = p + 1;
        m_prev[p] = static_cast<std::uint16_t>(old == 0 ? 0 : p - (old - 1));
    }
    m_inserted = std::max(m_inserted, pos);
}

Parser::Candidate Parser::findBest(std::uint32_t pos, std::uint32_t maxLength,
                                   const RecentOffsets& queue) {
    insertUpTo(pos);
    Candidate best;
    if (maxLength < format::kMinMatch) {
        insertUpTo(pos + 1);
        return best;
    }
    const std::uint8_t* here = m_data + pos;

    // Repeat offsets first: they are cheap and often as long as anything the chain finds.
    for (int j = 0; j < 3; ++j) {
        const std::uint32_t distance = queue.r[j];
        if (distance > pos || (j >= 1 && distance == queue.r[0]) ||
            (j == 2 && distance == queue.r[1])) {
            continue;
        }
        const std::uint32_t len = commonLength(here, here - distance, maxLength);
        if (len >= format::kMinMatch) {
            const int gain = repeatGain(len);
            if (gain > best.gain) {
                best = {len, distance, j, gain};
            }
        }
    }

    std::uint32_t bestLength = std::max<std::uint32_t>(best.length, format::kMinMatch);
    if (bestLength < maxLength && maxLength >= 3) {
        const unsigned maxChain = best.length >= 3 ? kLazyMaxChain : kMaxChain;
        std::uint32_t cand = m_head[hash3(here)];
        for (unsigned chain = 0; cand != 0 && chain < maxChain; ++chain) {
            const std::uint32_t c = cand - 1;
            const std::uint32_t distance = pos - c;
            if (distance > format::kMaxDistance) {
                break;
            }
            const std::uint8_t* there = m_data + c;
            if (there[bestLength] == here[bestLength] && there[0] == here[0]) {
                const std::uint32_t len = commonLength(here, there, maxLength);
                if (len > bestLength) {
                    bestLength = len;
                    const int gain = explicitGain(len, distance);
                    if (gain > best.gain) {
                        best = {len, distance, -1, gain};
                    }
                    if (len >= maxLength || len >= kNiceLength) {
                        break;
                    }
                }
            }
            const std::uint16_t step = m_prev[c];
            if (step == 0) {
                break;
            }
            cand = c - step + 1;
        }
    }
    insertUpTo(pos + 1);
    return best;
}

void Parser::parse(const std::uint8_t* data, std::uint32_t size, std::uint32_t realEnd,
                   IntervalTokens& out) {
    m_data = data;
    m_size = size;
    m_inserted = 0;
    std::fill(m_head.begin(), m_head.end(), 0u);

    out.tokens.clear();
    out.frames = size / kFrameSize;
    out.counts = {};
    RecentOffsets queue;

    std::uint32_t pos = 0;
    for (unsigned f = 0; f < out.frames; ++f) {
        SymbolCounts& counts = out.counts[f];
        out.frameStart[f] = out.tokens.size();
        const std::uint32_t frameEnd = (f + 1) * kFrameSize;

        auto literal = [&](std::uint32_t at) {
            const std::uint8_t byte = data[at];
            out.tokens.push_back({byte, 0, 0, 0});
            ++counts.main[byte];
        };

        while (pos < frameEnd) {
            const std::uint32_t limit = pos < realEnd ? std::min(frameEnd, realEnd) : frameEnd;
            Candidate cur = findBest(pos, std::min(format::kMaxMatch, limit - pos), queue);
            if (cur.gain <= 0) {
                literal(pos++);
                continue;
            }
            while (cur.length < kNiceLength && pos + 1 < limit) {
                const Candidate next =
                    findBest(pos + 1, std::min(format::kMaxMatch, limit - pos - 1), queue);
                if (next.gain <= cur.gain + kLazyMargin) {
                    break;
                }
                literal(pos++);
                cur = next;
            }

            // Send the match, updating the queue exactly as a decoder will.
            unsigned slot;
            std::uint32_t footer = 0;
            unsigned footerBits = 0;
            int repeat = cur.repeatIndex;
            if (repeat < 0) {
                for (int j = 0; j < 3; ++j) {
                    if (queue.r[j] == cur.distance) {
                        repeat = j;
                        break;
                    }
                }
            }
            if (repeat >= 0) {
                slot = static_cast<unsigned>(repeat);
                if (repeat > 0) {
                    std::swap(queue.r[0], queue.r[repeat]);
                }
            } else {
                slot = format::slotForDistance(cur.distance);
                footerBits = format::extraBits(slot);
                footer = cur.distance + 2 - format::positionBase(slot);
                queue.r[2] = queue.r[1];
                queue.r[1] = queue.r[0];
                queue.r[0] = cur.distance;
            }
            const std::uint32_t lengthCode = cur.length - format::kMinMatch;
            const unsigned header = std::min<std::uint32_t>(lengthCode, format::kNumPrimaryLengths);
            const std::uint8_t lengthSymbol = static_cast<std::uint8_t>(
                header == format::kNumPrimaryLengths ? lengthCode - format::kNumPrimaryLengths : 0);
            const auto mainSymbol =
                static_cast<std::uint16_t>(format::kNumChars + slot * 8 + header);
            out.tokens.push_back(
                {mainSymbol, lengthSymbol, static_cast<std::uint8_t>(footerBits), footer});
            ++counts.main[mainSymbol];
            if (header == format::kNumPrimaryLengths) {
                ++counts.length[lengthSymbol];
            }
            counts.footerBits += footerBits;
            if (footerBits >= 3) {
                ++counts.aligned[footer & 7];
                ++counts.alignedFooters;
            }
            pos += cur.length;
        }
        out.queueAtEnd[f] = queue;
    }
    out.frameStart[out.frames] = out.tokens.size();
}

} // namespace lzx
