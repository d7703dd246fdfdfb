// The LZX bit sink: bits go MSB-first into 16-bit words, each word stored low byte first.
#pragma once

#include <cstdint>
#include <vector>

namespace lzx {

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : m_out(out) {}

    // value must fit in count bits; count <= 32.
    void put(std::uint32_t value, unsigned count) {
        m_acc = (m_acc << count) | value;
        m_bits += count;
        if (m_bits >= 32) {
            m_bits -= 16;
            emitWord(static_cast<std::uint16_t>(m_acc >> m_bits));
            m_bits -= 16;
            emitWord(static_cast<std::uint16_t>(m_acc >> m_bits));
        }
    }

    // Zero bits up to the next 16-bit boundary, then hands out every complete word. Returns the
    // number of pad bits written (0..15).
    unsigned alignToWord() {
        const unsigned pad = (16 - m_bits % 16) % 16;
        if (pad != 0) {
            put(0, pad);
        }
        while (m_bits >= 16) {
            m_bits -= 16;
            emitWord(static_cast<std::uint16_t>(m_acc >> m_bits));
        }
        return pad;
    }

    // Bits written but not yet handed out as a whole word (0..31).
    unsigned pendingBits() const { return m_bits; }

    // Only right after alignToWord(): raw bytes for an uncompressed block.
    void putAlignedBytes(const std::uint8_t* bytes, std::size_t count) {
        m_out.insert(m_out.end(), bytes, bytes + count);
    }

    // Bytes handed out so far (at a word boundary this is the stream position).
    std::size_t byteCount() const { return m_out.size(); }

private:
    void emitWord(std::uint16_t word) {
        m_out.push_back(static_cast<std::uint8_t>(word & 0xFF));
        m_out.push_back(static_cast<std::uint8_t>(word >> 8));
    }

    std::vector<std::uint8_t>& m_out;
    std::uint64_t m_acc = 0;
    unsigned m_bits = 0;
};

} // namespace lzx
