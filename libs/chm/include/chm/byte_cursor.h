// Reads untrusted bytes: little-endian numbers, varints and strings from a span, where a read
// that would run past the end fails instead of reading it. A failed read returns 0 (or an empty
// span or string), leaves the position where it was and makes ok() false for good, so a parser
// can read a record field by field and check once at the end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace chm {

class ByteCursor {
public:
    explicit ByteCursor(std::span<const std::uint8_t> data) : m_data(data) {}

    std::size_t position() const { return m_pos; }
    std::size_t remaining() const { return m_data.size() - m_pos; }
    bool ok() const { return !m_failed; }

    // A fresh cursor over the same bytes at `offset`; past the end it is failed, at the end.
    ByteCursor at(std::size_t offset) const {
        ByteCursor c(m_data);
        c.m_pos = std::min(offset, m_data.size());
        c.m_failed = offset > m_data.size();
        return c;
    }

    bool skip(std::size_t count) { return take(count).size() == count && ok(); }

    std::uint8_t u8() { return static_cast<std::uint8_t>(little(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(little(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(little(4)); }
    std::uint64_t u64() { return little(8); }

    // 7 bits a byte, least significant group first, bit 7 set on all but the last byte (the
    // full-text index's counts). More than 64 bits of value is a failure.
    std::uint64_t varint() {
        const std::size_t start = m_pos;
        std::uint64_t value = 0;
        for (unsigned shift = 0; shift < 64 && !m_failed; shift += 7) {
            const std::uint8_t b = u8();
            value |= static_cast<std::uint64_t>(b & 0x7F) << shift;
            if (m_failed)
                break;
            if ((b & 0x80) == 0)
                return value;
        }
        m_pos = start;
        m_failed = true;
        return 0;
    }

    // The next `count` bytes.
    std::span<const std::uint8_t> bytes(std::size_t count) { return take(count); }

    // The string up to the next NUL, which is consumed; a string without one fails.
    std::string_view cString() {
        if (m_failed || remaining() == 0) {
            m_failed = true;
            return {};
        }
        const void* nul = std::memchr(m_data.data() + m_pos, 0, remaining());
        if (nul == nullptr) {
            m_failed = true;
            return {};
        }
        const auto* begin = reinterpret_cast<const char*>(m_data.data() + m_pos);
        const auto length = static_cast<std::size_t>(static_cast<const char*>(nul) - begin);
        m_pos += length + 1;
        return {begin, length};
    }

private:
    std::span<const std::uint8_t> take(std::size_t count) {
        if (m_failed || count > remaining()) {
            m_failed = true;
            return {};
        }
        const auto out = m_data.subspan(m_pos, count);
        m_pos += count;
        return out;
    }

    std::uint64_t little(std::size_t size) {
        const auto b = take(size);
        std::uint64_t v = 0;
        for (std::size_t i = b.size(); i-- > 0;)
            v = v << 8 | b[i];
        return v;
    }

    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

} // namespace chm
