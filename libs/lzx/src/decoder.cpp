// The LZX decoder (see decoder.h and format.h). Bits come MSB-first out of 16-bit little-endian
// words through a 64-bit buffer; Huffman codes are looked up in one table per tree, with a
// canonical walk for the few codes longer than the table. Matches are decoded straight into the
// caller's buffer, which holds the whole interval and so serves as the window.
#include "lzx/decoder.h"

#include "format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace lzx {

namespace {

constexpr std::size_t kFrameSize = 0x8000;
constexpr unsigned kMaxPositionSlots = 50; // window bits 21
constexpr unsigned kMaxMainSymbols = format::kNumChars + kMaxPositionSlots * 8;
// A pretree run may write up to 51 lengths past the end of its range. Decoders in the field
// keep those writes (the next range then takes them as its previous lengths), so the length
// arrays have room for them and we do the same.
constexpr unsigned kRunSlack = 64;

unsigned positionSlots(unsigned windowBits) {
    return windowBits == 21 ? 50 : windowBits == 20 ? 42 : windowBits * 2;
}

// Footer bits and base of each position slot: extra is 0 below slot 4, then slot / 2 - 1 up to
// 17, where it stays; each base follows the previous slot's range.
struct SlotTables {
    std::array<std::uint8_t, kMaxPositionSlots> extra{};
    std::array<std::uint32_t, kMaxPositionSlots> base{};
    constexpr SlotTables() {
        for (unsigned s = 0; s < kMaxPositionSlots; ++s) {
            extra[s] = static_cast<std::uint8_t>(s < 4 ? 0 : std::min(s / 2 - 1, 17u));
            base[s] = s == 0 ? 0 : base[s - 1] + (1u << extra[s - 1]);
        }
    }
};
constexpr SlotTables kSlots;
static_assert(kSlots.base[31] == 49152 && kSlots.base[39] == 655360 && kSlots.extra[49] == 17);

std::uint64_t toLittleEndian(std::uint64_t v) {
    if constexpr (std::endian::native == std::endian::big)
        return __builtin_bswap64(v);
    return v;
}

class BitReader {
public:
    BitReader(const std::uint8_t* begin, const std::uint8_t* end)
        : m_begin(begin), m_p(begin), m_end(end) {}

    // Tops the buffer up to at least 49 bits. Past the end of the input it feeds zero words and
    // counts them, so that overrun() can tell whether any of them were used.
    void refill() {
        if (m_left > 48)
            return;
        if (m_end - m_p >= 8) {
            loadWords();
            return;
        }
        while (m_left <= 48) {
            std::uint64_t word = 0;
            if (m_end - m_p >= 2) {
                word = static_cast<std::uint64_t>(m_p[0]) | static_cast<std::uint64_t>(m_p[1]) << 8;
                m_p += 2;
            } else if (m_p < m_end) {
                word = *m_p++; // a stray last byte: the low half of a word
            } else {
                ++m_zeroWords;
            }
            m_buf |= word << (48 - m_left);
            m_left += 16;
        }
    }

    // refill() where at least 8 bytes of input are known to be left.
    void refillFromInput() {
        if (m_left <= 48)
            loadWords();
    }

    // True while a whole token, with the refills it makes, cannot reach past the input.
    bool farFromEnd() const { return m_end - m_p >= 16; }

    // n is 1..32, and that many bits are in the buffer.
    std::uint32_t peek(unsigned n) const { return static_cast<std::uint32_t>(m_buf >> (64 - n)); }
    void skip(unsigned n) {
        m_buf <<= n;
        m_left -= n;
    }
    std::uint32_t bits(unsigned n) {
        refill();
        const std::uint32_t value = peek(n);
        skip(n);
        return value;
    }

    // True once a bit from beyond the input has been used.
    bool overrun() const { return m_zeroWords * 16 > m_left; }

    // Frame end: the rest of the current 16-bit word is padding.
    void alignToWord() { skip(m_left % 16); }

    // Uncompressed block: skips 1..16 bits to the next word boundary and switches to reading
    // bytes. False when that point lies past the input.
    bool startBytes() {
        refill();
        skip(m_left % 16 != 0 ? m_left % 16 : 16);
        const std::size_t at = static_cast<std::size_t>(m_p - m_begin) + 2 * m_zeroWords -
                               static_cast<std::size_t>(m_left / 8);
        if (at > static_cast<std::size_t>(m_end - m_begin))
            return false;
        m_p = m_begin + at;
        m_buf = 0;
        m_left = 0;
        m_zeroWords = 0;
        return true;
    }

    // In byte mode: the next n bytes, or nullptr when the input has fewer.
    const std::uint8_t* takeBytes(std::size_t n) {
        if (static_cast<std::size_t>(m_end - m_p) < n)
            return nullptr;
        const std::uint8_t* at = m_p;
        m_p += n;
        return at;
    }

private:
    // As many whole words as fit, in one load: word i is bytes 2i (low) and 2i + 1.
    void loadWords() {
        std::uint64_t raw = 0;
        std::memcpy(&raw, m_p, 8);
        raw = toLittleEndian(raw);
        const std::uint64_t words = (raw & 0xFFFF) << 48 | (raw >> 16 & 0xFFFF) << 32 |
                                    (raw >> 32 & 0xFFFF) << 16 | raw >> 48;
        const unsigned count = (64 - m_left) / 16;
        m_buf |= (words & ~std::uint64_t{0} << (64 - 16 * count)) >> m_left;
        m_left += 16 * count;
        m_p += 2 * count;
    }

    const std::uint8_t* m_begin;
    const std::uint8_t* m_p;
    const std::uint8_t* m_end;
    std::uint64_t m_buf = 0; // unread bits, left-aligned
    unsigned m_left = 0;     // how many
    std::size_t m_zeroWords = 0;
};

// A canonical Huffman code: codes of up to kTableBits bits are one lookup, longer ones (rare:
// they belong to the rarest symbols) are found length by length.
template <unsigned kSymbols, unsigned kTableBits> class HuffmanTable {
public:
    // False when the lengths make an over-full or incomplete code. All-zero lengths make an
    // empty code, from which every decode fails.
    bool build(const std::uint8_t* lengths, unsigned count) {
        std::array<std::uint16_t, 17> perLength{};
        for (unsigned s = 0; s < count; ++s)
            ++perLength[lengths[s]];
        perLength[0] = 0;
        std::fill(m_direct.begin(), m_direct.end(), std::uint16_t{0});
        m_count = perLength;
        if (std::all_of(perLength.begin(), perLength.end(), [](auto n) { return n == 0; }))
            return true;
        std::uint32_t room = 1;
        for (unsigned len = 1; len <= 16; ++len) {
            room <<= 1;
            if (perLength[len] > room)
                return false;
            room -= perLength[len];
        }
        if (room != 0)
            return false;
        std::uint32_t code = 0;
        std::uint16_t offset = 0;
        std::array<std::uint16_t, 17> next{};
        for (unsigned len = 1; len <= 16; ++len) {
            m_first[len] = code;
            m_offset[len] = offset;
            next[len] = offset;
            offset = static_cast<std::uint16_t>(offset + perLength[len]);
            code = (code + perLength[len]) << 1;
        }
        for (unsigned s = 0; s < count; ++s)
            if (lengths[s] != 0)
                m_sorted[next[lengths[s]]++] = static_cast<std::uint16_t>(s);
        for (unsigned len = 1; len <= kTableBits; ++len) {
            const unsigned span = 1u << (kTableBits - len);
            for (unsigned i = 0; i < perLength[len]; ++i) {
                const auto entry =
                    static_cast<std::uint16_t>(unsigned{m_sorted[m_offset[len] + i]} << 5 | len);
                const std::uint32_t first = (m_first[len] + i) * span;
                std::fill_n(m_direct.begin() + first, span, entry);
            }
        }
        return true;
    }

    // The next symbol, or -1. At least 16 bits must be in the reader's buffer.
    int decode(BitReader& in) const {
        const std::uint16_t entry = m_direct[in.peek(kTableBits)];
        if (entry != 0) {
            in.skip(entry & 31u);
            return entry >> 5;
        }
        for (unsigned len = kTableBits + 1; len <= 16; ++len) {
            const std::uint32_t index = in.peek(len) - m_first[len];
            if (index < m_count[len]) {
                in.skip(len);
                return m_sorted[m_offset[len] + index];
            }
        }
        return -1;
    }

private:
    std::array<std::uint16_t, 1u << kTableBits> m_direct{}; // symbol << 5 | length; 0: longer
    std::array<std::uint16_t, 17> m_count{};
    std::array<std::uint32_t, 17> m_first{};
    std::array<std::uint16_t, 17> m_offset{};
    std::array<std::uint16_t, kSymbols> m_sorted{};
};

// The x86 call translation, for the frames of an interval that asked for it: a 32-bit absolute
// target after each 0xE8 byte goes back to the relative one. Positions count from the
// interval's start.
void undoCallTranslation(std::uint8_t* data, std::size_t size, std::uint32_t translationSize) {
    for (std::size_t frame = 0; frame < size; frame += kFrameSize) {
        const std::size_t frameLength = std::min(kFrameSize, size - frame);
        if (frameLength <= 10)
            continue;
        std::uint8_t* p = data + frame;
        for (std::size_t i = 0; i < frameLength - 10;) {
            if (p[i] != 0xE8) {
                ++i;
                continue;
            }
            const auto target = static_cast<std::int32_t>(
                static_cast<std::uint32_t>(p[i + 1]) | static_cast<std::uint32_t>(p[i + 2]) << 8 |
                static_cast<std::uint32_t>(p[i + 3]) << 16 |
                static_cast<std::uint32_t>(p[i + 4]) << 24);
            const auto at = static_cast<std::int64_t>(frame + i);
            if (target >= -at && target < static_cast<std::int64_t>(translationSize)) {
                const auto relative = static_cast<std::uint32_t>(
                    target >= 0 ? target - at
                                : target + static_cast<std::int64_t>(translationSize));
                for (int b = 0; b < 4; ++b)
                    p[i + 1 + static_cast<std::size_t>(b)] =
                        static_cast<std::uint8_t>(relative >> (8 * b));
            }
            i += 5;
        }
    }
}

} // namespace

struct Decoder::State {
    unsigned mainSymbols = 0;
    HuffmanTable<kMaxMainSymbols, 12> main;
    HuffmanTable<format::kLengthTreeSize, 10> length;
    HuffmanTable<format::kAlignedTreeSize, 7> aligned;
    HuffmanTable<format::kPretreeSize, 6> pretree;
    std::array<std::uint8_t, kMaxMainSymbols + kRunSlack> mainLengths{};
    std::array<std::uint8_t, format::kLengthTreeSize + kRunSlack> lengthLengths{};
    bool lengthTreeEmpty = true;

    // One range of code lengths behind its own pretree, each a delta against the length the
    // symbol had in the previous block.
    bool readLengths(BitReader& in, std::uint8_t* lengths, unsigned first, unsigned last) {
        std::array<std::uint8_t, format::kPretreeSize> pre{};
        for (std::uint8_t& l : pre)
            l = static_cast<std::uint8_t>(in.bits(4));
        if (!pretree.build(pre.data(), format::kPretreeSize))
            return false;
        auto delta = [](std::uint8_t previous, int symbol) {
            return static_cast<std::uint8_t>((previous + 17 - symbol) % 17);
        };
        for (unsigned x = first; x < last;) {
            in.refill();
            const int symbol = pretree.decode(in);
            if (symbol < 0)
                return false;
            if (symbol == format::kPretreeZeros4 || symbol == format::kPretreeZeros20) {
                const unsigned run =
                    symbol == format::kPretreeZeros4 ? 4 + in.bits(4) : 20 + in.bits(5);
                std::fill_n(lengths + x, run, std::uint8_t{0});
                x += run;
            } else if (symbol == format::kPretreeSame) {
                const unsigned run = 4 + in.bits(1);
                in.refill();
                const int same = pretree.decode(in);
                if (same < 0 || same > 16)
                    return false;
                std::fill_n(lengths + x, run, delta(lengths[x], same));
                x += run;
            } else {
                lengths[x] = delta(lengths[x], symbol);
                ++x;
            }
            if (in.overrun())
                return false;
        }
        return true;
    }

    bool readTrees(BitReader& in, bool withAligned) {
        if (withAligned) {
            std::array<std::uint8_t, format::kAlignedTreeSize> lengths{};
            for (std::uint8_t& l : lengths)
                l = static_cast<std::uint8_t>(in.bits(3));
            if (!aligned.build(lengths.data(), format::kAlignedTreeSize))
                return false;
        }
        if (!readLengths(in, mainLengths.data(), 0, format::kNumChars) ||
            !readLengths(in, mainLengths.data(), format::kNumChars, mainSymbols) ||
            !main.build(mainLengths.data(), mainSymbols) ||
            !readLengths(in, lengthLengths.data(), 0, format::kLengthTreeSize) ||
            !length.build(lengthLengths.data(), format::kLengthTreeSize))
            return false;
        return !in.overrun();
    }

    // Decodes the tokens of a verbatim or aligned block up to `stop`; pos advances past each
    // whole token. False at the first token that cannot be.
    bool decodeTokens(BitReader& reader, bool alignedBlock, std::uint8_t* out,
                      std::size_t& position, std::size_t stop,
                      std::array<std::uint32_t, 3>& queue) {
        // Working copies: every byte written to out may alias the caller's objects, so these
        // would otherwise be reloaded from memory after each one.
        BitReader in = reader;
        std::size_t pos = position;
        std::array<std::uint32_t, 3> recent = queue;
        const bool ok = decodeTokensLocal<false>(in, alignedBlock, out, pos, stop, recent) &&
                        decodeTokensLocal<true>(in, alignedBlock, out, pos, stop, recent);
        reader = in;
        position = pos;
        queue = recent;
        return ok;
    }

    // Far from the end of the input (kNearEnd false) no token can reach past it, so the loop
    // runs without checking; it stops where that may change and the checking loop goes on.
    template <bool kNearEnd>
    bool decodeTokensLocal(BitReader& in, bool alignedBlock, std::uint8_t* out, std::size_t& pos,
                           std::size_t stop, std::array<std::uint32_t, 3>& recent) {
        auto refill = [&in] {
            if constexpr (kNearEnd)
                in.refill();
            else
                in.refillFromInput();
        };
        while (pos < stop && (kNearEnd || in.farFromEnd())) {
            refill();
            const int symbol = main.decode(in);
            if (symbol < 0)
                return false;
            if (symbol < static_cast<int>(format::kNumChars)) {
                if (kNearEnd && in.overrun())
                    return false;
                out[pos++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            const auto code = static_cast<unsigned>(symbol) - format::kNumChars;
            std::size_t matchLength = (code & 7u) + format::kMinMatch;
            if ((code & 7u) == format::kNumPrimaryLengths) {
                const int extraLength = length.decode(in);
                if (extraLength < 0)
                    return false;
                matchLength += static_cast<std::size_t>(extraLength);
            }
            const unsigned slot = code >> 3;
            std::uint32_t distance = 0;
            if (slot == 0) {
                distance = recent[0];
            } else if (slot < 3) {
                distance = recent[slot];
                recent[slot] = recent[0];
                recent[0] = distance;
            } else {
                refill();
                const unsigned extra = kSlots.extra[slot];
                distance = kSlots.base[slot] - 2;
                if (alignedBlock && extra >= 3) {
                    if (extra > 3) {
                        distance += in.peek(extra - 3) << 3;
                        in.skip(extra - 3);
                    }
                    const int low = aligned.decode(in);
                    if (low < 0)
                        return false;
                    distance += static_cast<std::uint32_t>(low);
                } else if (extra > 0) {
                    distance += in.peek(extra);
                    in.skip(extra);
                }
                recent[2] = recent[1];
                recent[1] = recent[0];
                recent[0] = distance;
            }
            if ((kNearEnd && in.overrun()) || distance > pos || matchLength > stop - pos)
                return false;
            std::uint8_t* to = out + pos;
            const std::uint8_t* from = to - distance;
            if (distance >= 8) {
                // Eight at a time; the last copy may run up to seven bytes past the match, into
                // bytes still to be decoded or the caller's slack.
                for (std::size_t i = 0; i < matchLength; i += 8)
                    std::memcpy(to + i, from + i, 8);
            } else if (distance == 1) {
                std::memset(to, *from, matchLength);
            } else {
                for (std::size_t i = 0; i < matchLength; ++i)
                    to[i] = from[i];
            }
            pos += matchLength;
        }
        return true;
    }
};

Decoder::Decoder(unsigned windowBits) : m_state(std::make_unique<State>()) {
    m_state->mainSymbols =
        format::kNumChars + positionSlots(supportsWindowBits(windowBits) ? windowBits : 16) * 8;
}

Decoder::~Decoder() = default;

std::size_t Decoder::decodeInterval(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                                    std::size_t length) {
    if (out.size() < kDecodeSlack || length > out.size() - kDecodeSlack)
        return 0;
    State& s = *m_state;
    s.mainLengths.fill(0);
    s.lengthLengths.fill(0);
    BitReader bits(in.data(), in.data() + in.size());
    std::array<std::uint32_t, 3> recent{1, 1, 1};
    std::uint32_t translationSize = 0;
    if (bits.bits(1) != 0) {
        translationSize = bits.bits(16) << 16;
        translationSize |= bits.bits(16);
    }
    std::uint8_t* o = out.data();
    std::size_t pos = 0;
    std::size_t frameEnd = std::min(kFrameSize, length);
    unsigned blockType = 0;
    std::size_t blockLeft = 0;
    bool padByte = false; // an uncompressed block of odd length is followed by one
    while (pos < length) {
        if (blockLeft == 0) {
            if (padByte && !bits.takeBytes(1))
                break;
            padByte = false;
            blockType = bits.bits(3);
            blockLeft = bits.bits(24);
            if (bits.overrun() || blockLeft == 0)
                break;
            if (blockType == format::kBlockVerbatim || blockType == format::kBlockAligned) {
                if (!s.readTrees(bits, blockType == format::kBlockAligned))
                    break;
            } else if (blockType == format::kBlockUncompressed) {
                const std::uint8_t* queue = bits.startBytes() ? bits.takeBytes(12) : nullptr;
                if (!queue)
                    break;
                for (std::size_t r = 0; r < 3; ++r)
                    recent[r] = static_cast<std::uint32_t>(queue[4 * r]) |
                                static_cast<std::uint32_t>(queue[4 * r + 1]) << 8 |
                                static_cast<std::uint32_t>(queue[4 * r + 2]) << 16 |
                                static_cast<std::uint32_t>(queue[4 * r + 3]) << 24;
                padByte = (blockLeft & 1) != 0;
            } else {
                break;
            }
        }
        const std::size_t stop = std::min(frameEnd, pos + blockLeft);
        const std::size_t start = pos;
        if (blockType == format::kBlockUncompressed) {
            const std::uint8_t* raw = bits.takeBytes(stop - pos);
            if (!raw)
                break;
            std::memcpy(o + pos, raw, stop - pos);
            pos = stop;
        } else if (!s.decodeTokens(bits, blockType == format::kBlockAligned, o, pos, stop,
                                   recent)) {
            break;
        }
        blockLeft -= pos - start;
        if (pos == frameEnd) {
            bits.alignToWord();
            frameEnd = std::min(frameEnd + kFrameSize, length);
        }
    }
    if (translationSize != 0)
        undoCallTranslation(o, pos, translationSize);
    return pos;
}

} // namespace lzx
