// The one place that calls iconv.
#include "text/converter.h"

#include <array>
#include <cerrno>
#include <iconv.h>

namespace text {

namespace {

iconv_t handleOf(void* handle) {
    return static_cast<iconv_t>(handle);
}

} // namespace

Converter::Converter(const char* to, const char* from) {
    // iconv takes an empty name for the locale's character set; here it is none.
    if (*to == '\0' || *from == '\0')
        return;
    iconv_t handle = iconv_open(to, from);
    if (handle != reinterpret_cast<iconv_t>(-1)) // NOLINT: iconv's documented failure value
        m_handle = handle;
}

Converter::~Converter() {
    if (m_handle != nullptr)
        iconv_close(handleOf(m_handle));
}

bool Converter::run(std::string_view input, const std::string_view* replacement, Skip skip,
                    bool& lossy, std::string& out) {
    if (m_handle == nullptr)
        return false;
    const iconv_t handle = handleOf(m_handle);
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    std::array<char, 16384> buffer;             // NOLINT: written by iconv before it is read
    char* in = const_cast<char*>(input.data()); // iconv never writes through it
    std::size_t inLeft = input.size();
    auto step = [&](char** from, std::size_t* left) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t r = iconv(handle, from, left, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        return r != static_cast<std::size_t>(-1);
    };
    while (inLeft > 0) {
        if (step(&in, &inLeft) || errno == E2BIG)
            continue;
        if (replacement == nullptr)
            return false;
        lossy = true;
        out += *replacement;
        std::size_t skipped = 1;
        if (skip == Skip::Utf8Character)
            while (skipped < inLeft && (static_cast<unsigned char>(in[skipped]) & 0xC0) == 0x80)
                ++skipped;
        in += skipped;
        inLeft -= skipped;
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
    }
    step(nullptr, nullptr); // the end of a stateful output
    return true;
}

std::string Converter::convert(std::string_view input, std::string_view replacement, Skip skip,
                               bool& lossy) {
    std::string out;
    if (!run(input, &replacement, skip, lossy, out))
        out.clear();
    return out;
}

std::optional<std::string> Converter::convertAll(std::string_view input) {
    std::string out;
    bool lossy = false;
    if (!run(input, nullptr, Skip::Byte, lossy, out))
        return std::nullopt;
    return out;
}

} // namespace text
