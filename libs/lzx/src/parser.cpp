// Greedy statistics pass and priced lazy parse over a hash-chain match finder.
#include "parser.h"

#include "huffman.h"
#include "lzx/encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lzx {
namespace {

// ---------------------------------------------------------------------------------------------
// Tunables
//
// A parse must compare a match with the literals it replaces, and what each costs depends on the
// Huffman codes of the block, which are only known once it is parsed. So each interval is parsed
// twice. The first pass is greedy over a one-entry hash table and exists only to count symbols;
// its code lengths are the second pass's prices. On HTML its prices served as well as those of a
// careful lazy pass, at a fraction of the cost. A symbol it never used is priced at
// kUnusedSymbolBits: low enough that the second pass still tries such matches (10 came out best
// between 8 and 14; higher values keep the second pass from finding cheaper symbol mixes).
//
// The second pass is lazy with two positions of lookahead: it takes the best match at a position
// unless one starting one or two bytes later saves more bits, the literals in between paid for,
// by more than kLookaheadMargin bits per byte skipped (within that the estimates are noise, and
// the match in hand wins). Repeat-queue matches are priced by their own symbols, which is where
// LZX gains on markup. Three positions of lookahead did worse than two.
//
// The match finder hashes 4 bytes for its chains (3-byte prefixes such as "<td" are so common in
// markup that their chains are long and mostly useless) and remembers the latest position of
// every 3-byte prefix for short matches. 15 hash bits keep each head table (128 KiB) in cache with
// few collisions over 64 Ki positions. The chain depth once a match is in hand (kLookaheadChain)
// is what buys ratio. Measured on 23 MB of HTML from /usr/share/doc and 23 MB of the Rust book,
// one core: these settings run 1.4-1.6 times as long as gzip -6 and write 0.8% less than Free
// Pascal's chmcmd (which takes 60 times as long); our budget is twice gzip's time. A
// near-optimal parse (cheapest path over every position) was tried: 1.5% smaller again, but four
// to five times slower than this. Tried again on CMake's reference pages (6.1 MB; this parse:
// 631 KB in 0.11 s): pricing every length of every repeat and explicit match at every position,
// over hash chains or binary trees, gave 623 KB in 0.56 s, and a second pass over the same
// matches 0.3% more; taking matches of 64 bytes or more whole, as it must to come near our time,
// left it no better than this parse (631 KB in 0.32 s), and on word-like text it gained nothing
// at twice the time. LZMA over the same 64 KiB intervals gives 603 KB: most of what separates
// us from it is the format (static Huffman codes, no context), not the parse.
// ---------------------------------------------------------------------------------------------
constexpr unsigned kHashBits = 15;
constexpr unsigned kChain = 128;           // chain candidates at a position with no match yet
constexpr unsigned kLookaheadChain = 96;   // ... once a match is in hand, and at lookahead steps
constexpr std::uint32_t kNiceLength = 128; // a match this long is taken without looking further
constexpr unsigned kLookahead = 2;
constexpr int kLookaheadMargin = 1;
constexpr std::uint32_t kGreedyMinLength = 4; // statistics pass: shortest explicit match taken
constexpr std::uint32_t kUnusedSymbolBits = 10;
// An interval whose greedy parse already costs this many tenths of its raw size or more keeps
// that parse: on data that barely compresses (images, search indexes) the lazy pass finds almost
// nothing more, yet costs as much as on markup. Measured on a 2.8 MB full-text index: the lazy
// pass bought 0.4% of size for two thirds of the compression time.
constexpr std::uint64_t kPoorGreedyTenths = 8;

constexpr std::uint32_t kHashSize = 1u << kHashBits;

inline std::uint32_t hash4(const std::uint8_t* p) {
    const std::uint32_t v = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
                            (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
    return (v * 0x9E3779B1u) >> (32 - kHashBits);
}

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

// Whether repeat slot j is worth trying: its distance is reachable and not a duplicate of a
// lower slot's (the decoder would produce the same bytes through the lower slot).
inline bool usableRepeat(const RecentOffsets& q, unsigned j, std::uint32_t pos) {
    const std::uint32_t d = q.r[j];
    return d <= pos && (j == 0 || d != q.r[0]) && (j < 2 || d != q.r[1]);
}

// The offset code of a match: its repeat slot if the distance is in the queue, else distance + 2.
inline std::uint32_t offsetCode(const RecentOffsets& q, std::uint32_t distance) {
    for (std::uint32_t j = 0; j < 3; ++j) {
        if (q.r[j] == distance) {
            return j;
        }
    }
    return distance + 2;
}

// Appends tokens frame by frame, counting symbols and updating the queue as a decoder will.
class TokenSink {
public:
    explicit TokenSink(IntervalTokens& out) : m_out(out) {
        m_out.tokens.clear();
        m_out.counts = {};
    }

    void beginFrame(unsigned frame) {
        m_frame = frame;
        m_out.frameStart[frame] = m_out.tokens.size();
    }

    void endFrame(const RecentOffsets& queue) { m_out.queueAtEnd[m_frame] = queue; }

    void finish() { m_out.frameStart[m_out.frames] = m_out.tokens.size(); }

    void literal(std::uint8_t byte) {
        m_out.tokens.push_back({byte, 0, 0, 0});
        ++m_out.counts[m_frame].main[byte];
    }

    // offset: 0..2 repeat slot, else distance + 2.
    void match(std::uint32_t length, std::uint32_t offset, RecentOffsets& queue) {
        SymbolCounts& counts = m_out.counts[m_frame];
        unsigned slot;
        std::uint32_t footer = 0;
        unsigned footerBits = 0;
        if (offset < 3) {
            slot = offset;
            if (offset != 0) {
                std::swap(queue.r[0], queue.r[offset]);
            }
        } else {
            slot = format::slotForDistance(offset - 2);
            footerBits = format::extraBits(slot);
            footer = offset - format::positionBase(slot);
            queue.r[2] = queue.r[1];
            queue.r[1] = queue.r[0];
            queue.r[0] = offset - 2;
        }
        const std::uint32_t lengthCode = length - format::kMinMatch;
        const unsigned header = std::min<std::uint32_t>(lengthCode, format::kNumPrimaryLengths);
        const auto lengthSymbol = static_cast<std::uint8_t>(
            header == format::kNumPrimaryLengths ? lengthCode - format::kNumPrimaryLengths : 0);
        const auto mainSymbol = static_cast<std::uint16_t>(format::kNumChars + slot * 8 + header);
        m_out.tokens.push_back(
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
    }

private:
    IntervalTokens& m_out;
    unsigned m_frame = 0;
};

} // namespace

Parser::Parser()
    : m_head(kHashSize), m_prev(kResetInterval), m_head3(kHashSize),
      m_literalBits(kResetInterval + 1) {}

// Matches may not cross the end of the frame, nor the end of the real data.
std::uint32_t Parser::limitAt(std::uint32_t pos, std::uint32_t frameEnd) const {
    return pos < m_realEnd ? std::min(frameEnd, m_realEnd) : frameEnd;
}

// ---- statistics pass -------------------------------------------------------------------------

void Parser::parseGreedy(IntervalTokens& out) {
    std::fill(m_head.begin(), m_head.end(), 0u); // here: 4-byte hash -> latest position + 1
    TokenSink sink(out);
    RecentOffsets queue;
    std::uint32_t pos = 0;
    for (unsigned f = 0; f < out.frames; ++f) {
        sink.beginFrame(f);
        const std::uint32_t frameEnd = (f + 1) * kFrameSize;
        while (pos < frameEnd) {
            const std::uint32_t maxLength =
                std::min(format::kMaxMatch, limitAt(pos, frameEnd) - pos);
            std::uint32_t length = 0;
            std::uint32_t offset = 0;
            if (maxLength >= kGreedyMinLength) {
                const std::uint8_t* here = m_data + pos;
                if (queue.r[0] <= pos) {
                    length = commonLength(here, here - queue.r[0], maxLength);
                }
                const std::uint32_t h = hash4(here);
                const std::uint32_t cand = m_head[h];
                m_head[h] = pos + 1;
                if (length < kGreedyMinLength && cand != 0 &&
                    pos - (cand - 1) <= format::kMaxDistance) {
                    const std::uint32_t distance = pos - (cand - 1);
                    const std::uint32_t len = commonLength(here, here - distance, maxLength);
                    if (len >= kGreedyMinLength) {
                        length = len;
                        offset = offsetCode(queue, distance);
                    }
                }
            }
            if (length >= format::kMinMatch) {
                sink.match(length, offset, queue);
                pos += length;
            } else {
                sink.literal(m_data[pos++]);
            }
        }
        sink.endFrame(queue);
    }
    sink.finish();
}

// ---- priced lazy parse -----------------------------------------------------------------------

void Parser::resetChains() {
    m_inserted = 0;
    std::fill(m_head.begin(), m_head.end(), 0u);
    std::fill(m_head3.begin(), m_head3.end(), 0u);
}

void Parser::insertUpTo(std::uint32_t pos) {
    for (std::uint32_t p = m_inserted; p < pos; ++p) {
        m_head3[hash3(m_data + p)] = p + 1;
        const std::uint32_t h = hash4(m_data + p);
        const std::uint32_t old = m_head[h];
        m_head[h] = p + 1;
        m_prev[p] = static_cast<std::uint16_t>(old == 0 ? 0 : p - (old - 1));
    }
    m_inserted = std::max(m_inserted, pos);
}

// Bits saved by a match of this length and slot at pos against literals for the same bytes.
int Parser::gain(std::uint32_t pos, std::uint32_t length, unsigned slot,
                 const Prices& prices) const {
    const std::uint32_t code = length - format::kMinMatch;
    std::uint32_t price = format::extraBits(slot);
    if (code < format::kNumPrimaryLengths) {
        price += prices.main[format::kNumChars + slot * 8 + code];
    } else {
        price += prices.main[format::kNumChars + slot * 8 + format::kNumPrimaryLengths] +
                 prices.length[code - format::kNumPrimaryLengths];
    }
    return static_cast<int>(m_literalBits[pos + length] - m_literalBits[pos]) -
           static_cast<int>(price);
}

// The match at pos that saves the most bits: repeat offsets, the latest position with the same
// 3 bytes, then the 4-byte chain.
Parser::Candidate Parser::findBest(std::uint32_t pos, std::uint32_t maxLength,
                                   const RecentOffsets& queue, const Prices& prices,
                                   bool lookahead) {
    insertUpTo(pos);
    Candidate best;
    if (maxLength < format::kMinMatch) {
        insertUpTo(pos + 1);
        return best;
    }
    const std::uint8_t* here = m_data + pos;

    for (unsigned j = 0; j < 3; ++j) {
        if (!usableRepeat(queue, j, pos)) {
            continue;
        }
        const std::uint32_t len = commonLength(here, here - queue.r[j], maxLength);
        if (len >= format::kMinMatch) {
            const int g = gain(pos, len, j, prices);
            if (g > best.gain) {
                best = {len, queue.r[j], static_cast<int>(j), g};
            }
        }
    }

    std::uint32_t bestLength = std::max<std::uint32_t>(best.length, format::kMinMatch);
    auto consider = [&](std::uint32_t len, std::uint32_t distance) {
        bestLength = len;
        const int g = gain(pos, len, format::slotForDistance(distance), prices);
        if (g > best.gain) {
            best = {len, distance, -1, g};
        }
    };
    if (bestLength < maxLength && maxLength >= 3) {
        // A lazy step can come back to a position after later ones went into the tables;
        // candidates at or after pos are skipped.
        if (const std::uint32_t c3 = m_head3[hash3(here)];
            c3 != 0 && c3 <= pos && pos - (c3 - 1) <= format::kMaxDistance) {
            const std::uint32_t distance = pos - (c3 - 1);
            const std::uint32_t len = commonLength(here, here - distance, maxLength);
            if (len > bestLength) {
                consider(len, distance);
            }
        }
        std::uint32_t cand = m_head[hash4(here)];
        while (cand > pos) {
            const std::uint16_t step = m_prev[cand - 1];
            cand = step == 0 ? 0 : cand - step;
        }
        const unsigned maxChain = lookahead || best.length >= 3 ? kLookaheadChain : kChain;
        for (unsigned chain = 0;
             cand != 0 && chain < maxChain && bestLength < maxLength && bestLength < kNiceLength;
             ++chain) {
            const std::uint32_t c = cand - 1;
            const std::uint32_t distance = pos - c;
            if (distance > format::kMaxDistance) {
                break;
            }
            const std::uint8_t* there = m_data + c;
            if (there[bestLength] == here[bestLength] && there[0] == here[0]) {
                const std::uint32_t len = commonLength(here, there, maxLength);
                if (len > bestLength) {
                    consider(len, distance);
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

void Parser::parseLazy(const Prices& prices, IntervalTokens& out) {
    resetChains();
    m_literalBits[0] = 0;
    for (std::uint32_t p = 0; p < m_size; ++p) {
        m_literalBits[p + 1] = m_literalBits[p] + prices.main[m_data[p]];
    }
    TokenSink sink(out);
    RecentOffsets queue;
    std::uint32_t pos = 0;
    for (unsigned f = 0; f < out.frames; ++f) {
        sink.beginFrame(f);
        const std::uint32_t frameEnd = (f + 1) * kFrameSize;
        while (pos < frameEnd) {
            const std::uint32_t limit = limitAt(pos, frameEnd);
            Candidate cur =
                findBest(pos, std::min(format::kMaxMatch, limit - pos), queue, prices, false);
            if (cur.gain <= 0) {
                sink.literal(m_data[pos++]);
                continue;
            }
            // Would a match one or two positions later save more, literals in between paid?
            while (cur.length < kNiceLength) {
                Candidate later;
                std::uint32_t skip = 0;
                for (std::uint32_t k = 1; k <= kLookahead && pos + k < limit; ++k) {
                    const Candidate c = findBest(
                        pos + k, std::min(format::kMaxMatch, limit - pos - k), queue, prices, true);
                    if (c.gain > cur.gain + kLookaheadMargin * static_cast<int>(k) &&
                        c.gain > later.gain) {
                        later = c;
                        skip = k;
                    }
                }
                if (skip == 0) {
                    break;
                }
                for (; skip > 0; --skip) {
                    sink.literal(m_data[pos++]);
                }
                cur = later;
            }
            const std::uint32_t offset = cur.repeatIndex >= 0
                                             ? static_cast<std::uint32_t>(cur.repeatIndex)
                                             : offsetCode(queue, cur.distance);
            sink.match(cur.length, offset, queue);
            pos += cur.length;
        }
        sink.endFrame(queue);
    }
    sink.finish();
}

void Parser::parse(const std::uint8_t* data, std::uint32_t size, std::uint32_t realEnd,
                   IntervalTokens& out) {
    m_data = data;
    m_size = size;
    m_realEnd = realEnd;
    out.frames = size / kFrameSize;

    parseGreedy(out);

    // Prices: the code lengths the greedy pass's symbols would get over the whole interval.
    std::array<std::uint32_t, format::kMainTreeSize> mainCounts{};
    std::array<std::uint32_t, format::kLengthTreeSize> lengthCounts{};
    for (unsigned f = 0; f < out.frames; ++f) {
        for (std::size_t s = 0; s < mainCounts.size(); ++s) {
            mainCounts[s] += out.counts[f].main[s];
        }
        for (std::size_t s = 0; s < lengthCounts.size(); ++s) {
            lengthCounts[s] += out.counts[f].length[s];
        }
    }
    std::array<std::uint8_t, format::kMainTreeSize> mainLengths;
    std::array<std::uint8_t, format::kLengthTreeSize> lengthLengths;
    buildCodeLengths(mainCounts, format::kMaxCodeLength, mainLengths);
    buildCodeLengths(lengthCounts, format::kMaxCodeLength, lengthLengths);
    // What the greedy parse costs in code bits (footers left out: an underestimate, so poorly
    // compressible data is, if anything, given the lazy pass too often).
    std::uint64_t greedyBits = 0;
    for (std::size_t s = 0; s < mainLengths.size(); ++s) {
        greedyBits += std::uint64_t{mainCounts[s]} * mainLengths[s];
    }
    for (std::size_t s = 0; s < lengthLengths.size(); ++s) {
        greedyBits += std::uint64_t{lengthCounts[s]} * lengthLengths[s];
    }
    if (greedyBits * 10 >= std::uint64_t{size} * 8 * kPoorGreedyTenths) {
        return;
    }
    Prices prices;
    for (std::size_t s = 0; s < mainLengths.size(); ++s) {
        prices.main[s] = mainLengths[s] != 0 ? mainLengths[s] : kUnusedSymbolBits;
    }
    for (std::size_t s = 0; s < lengthLengths.size(); ++s) {
        prices.length[s] = lengthLengths[s] != 0 ? lengthLengths[s] : kUnusedSymbolBits;
    }
    parseLazy(prices, out);
}

} // namespace lzx
