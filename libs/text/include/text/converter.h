// Conversions between character sets through the C library's iconv, closed when done with.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace text {

class Converter {
public:
    // Character sets by their iconv names ("UTF-8", "CP936", "UTF-32LE").
    Converter(const char* to, const char* from);
    ~Converter();
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // False when iconv does not know one of the two character sets (or a name is empty).
    bool valid() const { return m_handle != nullptr; }

    // What is skipped of the input where it cannot be converted.
    enum class Skip { Byte, Utf8Character };

    // Converts the whole input. A sequence that cannot be converted puts `replacement` (bytes
    // in the target set) in its place, skips as `skip` says and sets `lossy`.
    std::string convert(std::string_view input, std::string_view replacement, Skip skip,
                        bool& lossy);
    // Converts the whole input; nullopt when any of it cannot be converted.
    std::optional<std::string> convertAll(std::string_view input);

private:
    bool run(std::string_view input, const std::string_view* replacement, Skip skip, bool& lossy,
             std::string& out);

    void* m_handle = nullptr;
};

} // namespace text
