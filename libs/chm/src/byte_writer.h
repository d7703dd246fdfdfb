// Little-endian appends, and patches of what was appended, for every writer of the help file's
// parts: the container, the system files and the full-text index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace chm::detail {

inline void putU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

inline void putU64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int shift = 0; shift < 64; shift += 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

inline void putZeros(std::vector<std::uint8_t>& out, std::size_t count) {
    out.insert(out.end(), count, 0);
}

inline void putBytes(std::vector<std::uint8_t>& out, std::string_view s) {
    out.insert(out.end(), s.begin(), s.end());
}

inline void putBytes(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> b) {
    out.insert(out.end(), b.begin(), b.end());
}

// s followed by its terminating NUL.
inline void putCString(std::vector<std::uint8_t>& out, std::string_view s) {
    putBytes(out, s);
    out.push_back(0);
}

// UTF-16LE code units followed by a NUL unit.
inline void putWideCString(std::vector<std::uint8_t>& out, std::u16string_view s) {
    for (char16_t c : s)
        putU16(out, static_cast<std::uint16_t>(c));
    putU16(out, 0);
}

// Overwrites bytes already written; `at` + the field's size must lie inside out.
inline void patchU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void patchU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

} // namespace chm::detail
