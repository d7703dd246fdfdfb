// Language to code page table and iconv conversions.
#include "text/code_page.h"

#include <cerrno>
#include <iconv.h>
#include <memory>
#include <type_traits>

namespace text {

std::uint32_t codePageForLcid(std::uint32_t lcid) {
    // Windows keys code pages on the primary language (low 10 bits) except for Chinese, where
    // the sub-language decides between simplified and traditional script.
    switch (lcid & 0xFFFF) {
    case 0x0804: // Chinese (PRC)
    case 0x1004: // Chinese (Singapore)
        return 936;
    case 0x0404: // Chinese (Taiwan)
    case 0x0C04: // Chinese (Hong Kong)
    case 0x1404: // Chinese (Macao)
        return 950;
    case 0x081A: // Serbian (Latin)
    case 0x141A: // Bosnian (Latin)
        return 1250;
    case 0x0C1A: // Serbian (Cyrillic)
    case 0x201A: // Bosnian (Cyrillic)
        return 1251;
    case 0x0443: // Uzbek (Latin)
    case 0x042C: // Azeri (Latin)
        return 1254;
    case 0x0843: // Uzbek (Cyrillic)
    case 0x082C: // Azeri (Cyrillic)
        return 1251;
    default:
        break;
    }
    switch (lcid & 0x3FF) {
    case 0x11: // Japanese
        return 932;
    case 0x12: // Korean
        return 949;
    case 0x04: // Chinese, other
        return 936;
    case 0x1E: // Thai
        return 874;
    case 0x05: // Czech
    case 0x0E: // Hungarian
    case 0x15: // Polish
    case 0x18: // Romanian
    case 0x1A: // Croatian
    case 0x1B: // Slovak
    case 0x1C: // Albanian
    case 0x24: // Slovenian
        return 1250;
    case 0x19: // Russian
    case 0x22: // Ukrainian
    case 0x23: // Belarusian
    case 0x02: // Bulgarian
    case 0x2F: // Macedonian
    case 0x3F: // Kazakh
    case 0x40: // Kyrgyz
    case 0x44: // Tatar
    case 0x50: // Mongolian
        return 1251;
    case 0x08: // Greek
        return 1253;
    case 0x1F: // Turkish
        return 1254;
    case 0x0D: // Hebrew
        return 1255;
    case 0x01: // Arabic
    case 0x20: // Urdu
    case 0x29: // Farsi
        return 1256;
    case 0x25: // Estonian
    case 0x26: // Latvian
    case 0x27: // Lithuanian
        return 1257;
    case 0x2A: // Vietnamese
        return 1258;
    default:
        return 1252;
    }
}

std::string iconvNameForCodePage(std::uint32_t codePage) {
    switch (codePage) {
    case 874:
        return "CP874";
    case 932:
        return "CP932";
    case 936:
        return "CP936";
    case 949:
        return "CP949";
    case 950:
        return "CP950";
    case 65001:
        return "UTF-8";
    default:
        if (codePage >= 1250 && codePage <= 1258)
            return "CP" + std::to_string(codePage);
        return {};
    }
}

bool isNonAsciiUtf8(std::string_view bytes) {
    bool nonAscii = false;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        std::size_t length = 0;
        std::uint32_t min = 0;
        std::uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            min = 0x80;
            cp = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            min = 0x800;
            cp = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            min = 0x10000;
            cp = c & 0x07u;
        } else {
            return false;
        }
        if (bytes.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto d = static_cast<unsigned char>(bytes[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3Fu);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return nonAscii;
}

namespace {

struct IconvCloser {
    void operator()(iconv_t handle) const { iconv_close(handle); }
};
using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

IconvHandle openIconv(const std::string& to, const std::string& from) {
    iconv_t handle = iconv_open(to.c_str(), from.c_str());
    if (handle == reinterpret_cast<iconv_t>(-1)) // NOLINT: iconv's documented failure value
        return nullptr;
    return IconvHandle(handle);
}

// How a conversion meets a sequence it cannot convert.
enum class OnError {
    Fail,             // give up
    QuestionMarkUtf8, // write '?' and skip one UTF-8 character of the input
    ReplacementByte,  // write U+FFFD and skip one byte of the input
};

// Converts with iconv, meeting bad sequences as `onError` says; `lossy` tells whether any was.
std::optional<std::string> convert(iconv_t handle, std::string_view input, OnError onError,
                                   bool& lossy) {
    std::string out;
    std::string buffer(4096, '\0');
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t r = iconv(handle, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (r != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        if (onError == OnError::Fail)
            return std::nullopt;
        lossy = true;
        std::size_t skip = 1;
        if (onError == OnError::ReplacementByte) {
            out += "\xEF\xBF\xBD";
        } else {
            out.push_back('?');
            // Skip one UTF-8 character: its lead byte and the continuation bytes after it.
            while (skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80)
                ++skip;
        }
        in += skip;
        inLeft -= skip;
    }
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    iconv(handle, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    return out;
}

} // namespace

Conversion fromUtf8(std::string_view utf8, std::uint32_t codePage) {
    Conversion result;
    const std::string name = iconvNameForCodePage(codePage);
    IconvHandle handle = name.empty() ? nullptr : openIconv(name, "UTF-8");
    if (!handle) {
        result.text = std::string(utf8);
        result.ok = false;
        return result;
    }
    result.text = convert(handle.get(), utf8, OnError::QuestionMarkUtf8, result.lossy)
                      .value_or(std::string());
    return result;
}

std::optional<std::string> toUtf8(std::string_view bytes, std::uint32_t codePage) {
    const std::string name = iconvNameForCodePage(codePage);
    IconvHandle handle = name.empty() ? nullptr : openIconv("UTF-8", name);
    if (!handle)
        return std::nullopt;
    bool lossy = false;
    return convert(handle.get(), bytes, OnError::Fail, lossy);
}

std::string webCharsetForCodePage(std::uint32_t codePage) {
    switch (codePage) {
    case 874:
        return "windows-874";
    case 932:
        return "Shift_JIS";
    case 936:
        return "GBK";
    case 949:
        return "EUC-KR"; // browsers read it as Windows' Unified Hangul Code
    case 950:
        return "Big5";
    case 65001:
        return "UTF-8";
    default:
        if (codePage >= 1250 && codePage <= 1258)
            return "windows-" + std::to_string(codePage);
        return {};
    }
}

bool isAscii(std::string_view bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string displayUtf8(std::string_view bytes, std::uint32_t codePage) {
    if (isAscii(bytes))
        return std::string(bytes);
    if (std::optional<std::string> decoded = toUtf8(bytes, codePage))
        return *std::move(decoded);
    if (isNonAsciiUtf8(bytes))
        return std::string(bytes);
    const std::string name = iconvNameForCodePage(codePage);
    IconvHandle handle = openIconv("UTF-8", name.empty() ? "CP1252" : name);
    bool lossy = false;
    if (handle)
        if (std::optional<std::string> decoded =
                convert(handle.get(), bytes, OnError::ReplacementByte, lossy))
            return *std::move(decoded);
    std::string out;
    for (const char c : bytes)
        out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : "\xEF\xBF\xBD";
    return out;
}

} // namespace text
