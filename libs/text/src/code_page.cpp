// Language to code page table and the conversions between code pages and UTF-8.
#include "text/code_page.h"

#include "text/converter.h"
#include "text/utf8.h"

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

namespace {

// Every code page a help file can be in: the name iconv knows it by and the one browsers do.
struct CodePageNames {
    std::uint32_t codePage;
    const char* iconv;
    const char* web;
};
constexpr CodePageNames kCodePages[] = {
    {874, "CP874", "windows-874"},
    {932, "CP932", "Shift_JIS"},
    {936, "CP936", "GBK"},
    {949, "CP949", "EUC-KR"}, // read as Unified Hangul Code
    {950, "CP950", "Big5"},
    {1250, "CP1250", "windows-1250"},
    {1251, "CP1251", "windows-1251"},
    {1252, "CP1252", "windows-1252"},
    {1253, "CP1253", "windows-1253"},
    {1254, "CP1254", "windows-1254"},
    {1255, "CP1255", "windows-1255"},
    {1256, "CP1256", "windows-1256"},
    {1257, "CP1257", "windows-1257"},
    {1258, "CP1258", "windows-1258"},
    {65001, "UTF-8", "UTF-8"},
};

const CodePageNames* namesOf(std::uint32_t codePage) {
    for (const CodePageNames& names : kCodePages)
        if (names.codePage == codePage)
            return &names;
    return nullptr;
}

} // namespace

std::string iconvNameForCodePage(std::uint32_t codePage) {
    const CodePageNames* names = namesOf(codePage);
    return names ? names->iconv : "";
}

std::string webCharsetForCodePage(std::uint32_t codePage) {
    const CodePageNames* names = namesOf(codePage);
    return names ? names->web : "";
}

namespace {

// A converter between UTF-8 and a code page, in the direction given; invalid when the code
// page has no iconv name.
Converter codePageConverter(std::uint32_t codePage, bool toCodePage) {
    const std::string name = iconvNameForCodePage(codePage);
    const char* cp = name.empty() ? "" : name.c_str();
    return toCodePage ? Converter(cp, "UTF-8") : Converter("UTF-8", cp);
}

} // namespace

Conversion fromUtf8(std::string_view utf8, std::uint32_t codePage) {
    Conversion result;
    Converter converter = codePageConverter(codePage, true);
    if (!converter.valid()) {
        result.text = std::string(utf8);
        result.ok = false;
        return result;
    }
    result.text = converter.convert(utf8, "?", Converter::Skip::Utf8Character, result.lossy);
    return result;
}

std::optional<std::string> toUtf8(std::string_view bytes, std::uint32_t codePage) {
    Converter converter = codePageConverter(codePage, false);
    if (!converter.valid())
        return std::nullopt;
    return converter.convertAll(bytes);
}

std::u16string toUtf16(std::string_view bytes, std::uint32_t codePage) {
    std::string from = iconvNameForCodePage(codePage);
    if (from.empty() || isNonAsciiUtf8(bytes))
        from = "UTF-8";
    Converter converter("UTF-16LE", from.c_str());
    std::u16string out;
    if (!converter.valid()) {
        for (const char c : bytes)
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        return out;
    }
    bool lossy = false;
    const std::string units =
        converter.convert(bytes, std::string_view("?\0", 2), Converter::Skip::Byte, lossy);
    for (std::size_t i = 0; i + 1 < units.size(); i += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(units[i]) |
                                            (static_cast<unsigned char>(units[i + 1]) << 8)));
    return out;
}

std::string displayUtf8(std::string_view bytes, std::uint32_t codePage) {
    if (isAscii(bytes))
        return std::string(bytes);
    if (std::optional<std::string> decoded = toUtf8(bytes, codePage))
        return *std::move(decoded);
    if (isNonAsciiUtf8(bytes))
        return std::string(bytes);
    const std::string name = iconvNameForCodePage(codePage);
    Converter converter("UTF-8", name.empty() ? "CP1252" : name.c_str());
    bool lossy = false;
    if (converter.valid())
        return converter.convert(bytes, "\xEF\xBF\xBD", Converter::Skip::Byte, lossy);
    std::string out;
    for (const char c : bytes)
        out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : "\xEF\xBF\xBD";
    return out;
}

} // namespace text
