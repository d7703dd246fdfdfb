// Expected bytes for the system-file tests, written field by field.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace chm::test {

struct Bytes {
    std::vector<std::uint8_t> v;
    Bytes& u16(std::uint16_t x) {
        v.push_back(static_cast<std::uint8_t>(x));
        v.push_back(static_cast<std::uint8_t>(x >> 8));
        return *this;
    }
    Bytes& u32(std::uint32_t x) {
        for (int s = 0; s < 32; s += 8)
            v.push_back(static_cast<std::uint8_t>(x >> s));
        return *this;
    }
    Bytes& str(std::string_view s) { // with its NUL
        v.insert(v.end(), s.begin(), s.end());
        v.push_back(0);
        return *this;
    }
    Bytes& wide(std::u16string_view s) { // UTF-16LE with its NUL
        for (char16_t c : s)
            u16(static_cast<std::uint16_t>(c));
        return u16(0);
    }
    Bytes& zeros(std::size_t n) {
        v.insert(v.end(), n, 0);
        return *this;
    }
};

inline std::uint32_t readU32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
           static_cast<std::uint32_t>(b.at(at + 2)) << 16 |
           static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}

inline std::uint16_t readU16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

} // namespace chm::test
