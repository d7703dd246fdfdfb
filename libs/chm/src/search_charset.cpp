// Finding and decoding a page's character set.
#include "search_charset.h"

#include "chm/search_words.h"
#include "text/code_page.h"
#include "text/converter.h"

#include <algorithm>
#include <cctype>

namespace chm {

namespace detail {

namespace {

// A character set named in a page is looked for this far into it, as browsers do.
constexpr std::size_t kCharsetScanLimit = 4096;

} // namespace

bool decodeWith(const std::string& charset, std::string_view bytes, std::u32string& out) {
    text::Converter converter("UTF-32LE", charset.c_str());
    if (!converter.valid())
        return false;
    bool lossy = false;
    const std::string units = converter.convert(bytes, std::string_view("\xFD\xFF\0\0", 4),
                                                text::Converter::Skip::Byte, lossy);
    out.clear();
    out.reserve(units.size() / 4);
    for (std::size_t i = 0; i + 3 < units.size(); i += 4) {
        const auto b = [&](std::size_t k) {
            return static_cast<char32_t>(static_cast<unsigned char>(units[i + k]));
        };
        out.push_back(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
    }
    return true;
}

// The character set a page declares in a <meta> element, as an iconv name; empty if none.
std::string declaredCharset(std::string_view html) {
    constexpr std::string_view kCharset = "charset";
    const std::size_t scanned = std::min(html.size(), kCharsetScanLimit);
    // Read ASCII-lower-cased in place: most pages name no character set, and those that do
    // name it early, so nothing is copied.
    auto at = [&](std::size_t i) {
        const char c = html[i];
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    auto mentionAt = [&](std::size_t i) {
        for (std::size_t k = 0; k < kCharset.size(); ++k)
            if (at(i + k) != kCharset[k])
                return false;
        return true;
    };
    const std::string_view head = html.substr(0, scanned);
    // Where the next 'c' and 'C' are: the word can only start there.
    std::size_t lowerC = head.find('c');
    std::size_t upperC = head.find('C');
    std::size_t pos = 0;
    while (true) {
        while (true) {
            if (lowerC < pos)
                lowerC = head.find('c', pos);
            if (upperC < pos)
                upperC = head.find('C', pos);
            pos = std::min(lowerC, upperC);
            if (pos == std::string_view::npos || pos + kCharset.size() > scanned)
                return {};
            if (mentionAt(pos))
                break;
            ++pos;
        }
        pos += kCharset.size();
        std::size_t p = pos;
        while (p < scanned && (at(p) == ' ' || at(p) == '\t'))
            ++p;
        if (p >= scanned || at(p) != '=')
            continue;
        ++p;
        while (p < scanned && (at(p) == ' ' || at(p) == '"' || at(p) == '\''))
            ++p;
        std::size_t end = p;
        while (end < scanned &&
               (std::isalnum(static_cast<unsigned char>(at(end))) || at(end) == '-' ||
                at(end) == '_' || at(end) == '.' || at(end) == ':'))
            ++end;
        std::string name;
        for (std::size_t i = p; i < end; ++i)
            name.push_back(at(i));
        if (name.empty())
            continue;
        // The names pages use for Windows code pages, read as the superset browsers read.
        if (name == "utf-8" || name == "utf8")
            return "UTF-8";
        if (name == "gb2312" || name == "gbk" || name == "x-gbk" || name == "cp936")
            return "CP936";
        if (name == "big5")
            return "CP950";
        if (name == "shift_jis" || name == "x-sjis" || name == "sjis")
            return "CP932";
        if (name == "iso-8859-1" || name == "us-ascii" || name == "latin1")
            return "CP1252";
        if (name == "euc-kr" || name == "ks_c_5601-1987")
            return "CP949";
        return name;
    }
}

// Character sets whose first 128 characters are ASCII's, so an ASCII page reads the same in
// them without a converter.
bool asciiCompatible(const std::string& charset) {
    return charset == "UTF-8" || charset == "CP936" || charset == "CP950" || charset == "CP932" ||
           charset == "CP1252" || charset == "CP949" || charset.starts_with("iso-8859-") ||
           charset.starts_with("windows-125") || charset.starts_with("cp125");
}

// The Windows code page a page's character set names ("cp1251", "windows-1252"); 0 if none.
std::uint32_t namedCodePage(std::string_view charset) {
    for (const std::string_view prefix : {"cp", "windows-"}) {
        if (!charset.starts_with(prefix))
            continue;
        const std::string_view digits = charset.substr(prefix.size());
        if (digits.empty() || digits.size() > 5)
            return 0;
        std::uint32_t value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9')
                return 0;
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
        }
        return value;
    }
    return 0;
}

// Single-byte code pages whose converter maps byte by byte. Those of Hebrew and Vietnamese
// (1255, 1258) join a letter and a following accent into one character, so they are not.
bool byteByByte(std::uint32_t codePage) {
    return codePage == 874 || (codePage >= 1250 && codePage <= 1254) || codePage == 1256 ||
           codePage == 1257;
}

} // namespace detail

std::u32string decodeText(std::string_view bytes, std::uint32_t codePage) {
    std::u32string out;
    if (text::isAscii(bytes)) {
        out.assign(bytes.begin(), bytes.end());
        return out;
    }
    if (text::isUtf8(bytes) && detail::decodeWith("UTF-8", bytes, out))
        return out;
    const std::string name = text::iconvNameForCodePage(codePage);
    if (!name.empty() && detail::decodeWith(name, bytes, out))
        return out;
    // No converter at all: bytes beyond ASCII separate words.
    out.clear();
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(b < 0x80 ? b : char32_t{0xFFFD});
    }
    return out;
}

} // namespace chm
