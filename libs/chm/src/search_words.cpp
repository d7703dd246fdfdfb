// Page text and words for the full-text index.
#include "chm/search_words.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <locale.h>
#include <map>
#include <wctype.h>

namespace chm {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
// A character set named in a page is looked for this far into it, as browsers do.
constexpr std::size_t kCharsetScanLimit = 4096;

// Unicode character classes come from the C library's UTF-8 locale, which every glibc has
// built in; without it only ASCII is classified and everything beyond counts as a letter.
locale_t unicodeLocale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        if (l == static_cast<locale_t>(nullptr))
            l = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(nullptr));
        return l;
    }();
    return locale;
}

bool isAsciiAlnum(char32_t c) {
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

bool isWordCharacter(char32_t c) {
    if (c < 0x80)
        return isAsciiAlnum(c);
    if (c == kReplacement || c > 0x10FFFF)
        return false;
    const locale_t locale = unicodeLocale();
    if (locale == static_cast<locale_t>(nullptr))
        return true;
    return iswalnum_l(static_cast<wint_t>(c), locale) != 0;
}

char32_t toLower(char32_t c) {
    if (c < 0x80)
        return (c >= U'A' && c <= U'Z') ? c + 32 : c;
    const locale_t locale = unicodeLocale();
    if (locale == static_cast<locale_t>(nullptr))
        return c;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale));
}

// Scripts written without blanks between words: each character is a word.
bool isOwnWord(char32_t c) {
    return (c >= 0x3040 && c <= 0x30FF) || // hiragana, katakana
           (c >= 0x3400 && c <= 0x4DBF) || // CJK extension A
           (c >= 0x4E00 && c <= 0x9FFF) || // CJK unified ideographs
           (c >= 0xF900 && c <= 0xFAFF) || // CJK compatibility ideographs
           (c >= 0xFF66 && c <= 0xFF9F) || // half-width katakana
           (c >= 0x20000 && c <= 0x3FFFF); // CJK extensions B and beyond
}

bool isValidUtf8(std::string_view bytes, bool& nonAscii) {
    nonAscii = false;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        std::size_t length = 0;
        if (c >= 0xC2 && c <= 0xDF)
            length = 2;
        else if (c >= 0xE0 && c <= 0xEF)
            length = 3;
        else if (c >= 0xF0 && c <= 0xF4)
            length = 4;
        else
            return false;
        if (i + length > bytes.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_handle(iconv_open(to, from)) {}
    ~Iconv() {
        if (valid())
            iconv_close(m_handle);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool valid() const { return m_handle != reinterpret_cast<iconv_t>(-1); } // NOLINT
    iconv_t handle() const { return m_handle; }

private:
    iconv_t m_handle;
};

// Decodes bytes with iconv; false when iconv does not know the character set. A byte that
// starts no valid sequence becomes U+FFFD and decoding goes on after it.
bool decodeWith(const std::string& charset, std::string_view bytes, std::u32string& out) {
    Iconv cd("UTF-32LE", charset.c_str());
    if (!cd.valid())
        return false;
    out.clear();
    out.reserve(bytes.size());
    std::string input(bytes);
    char* in = input.data();
    std::size_t inLeft = input.size();
    std::array<char, 16384> buffer{};
    auto flush = [&](std::size_t produced) {
        for (std::size_t i = 0; i + 3 < produced; i += 4) {
            const auto b = [&](std::size_t k) {
                return static_cast<char32_t>(static_cast<unsigned char>(buffer[i + k]));
            };
            out.push_back(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
        }
    };
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(cd.handle(), &in, &inLeft, &outPtr, &outLeft);
        flush(buffer.size() - outLeft);
        if (result != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // An invalid or cut-off sequence: skip one byte.
        out.push_back(kReplacement);
        ++in;
        --inLeft;
        iconv(cd.handle(), nullptr, nullptr, nullptr, nullptr);
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

struct Entity {
    const char* name;
    char32_t value;
};

// The named references help pages use; numeric ones are decoded in general.
constexpr Entity kEntities[] = {
    {"amp", U'&'},     {"lt", U'<'},       {"gt", U'>'},      {"quot", U'"'},    {"apos", U'\''},
    {"nbsp", 0xA0},    {"copy", 0xA9},     {"reg", 0xAE},     {"trade", 0x2122}, {"mdash", 0x2014},
    {"ndash", 0x2013}, {"hellip", 0x2026}, {"laquo", 0xAB},   {"raquo", 0xBB},   {"ldquo", 0x201C},
    {"rdquo", 0x201D}, {"lsquo", 0x2018},  {"rsquo", 0x2019}, {"middot", 0xB7},  {"bull", 0x2022},
    {"times", 0xD7},   {"deg", 0xB0},      {"shy", 0xAD},     {"para", 0xB6},    {"sect", 0xA7},
    {"auml", 0xE4},    {"ouml", 0xF6},     {"uuml", 0xFC},    {"Auml", 0xC4},    {"Ouml", 0xD6},
    {"Uuml", 0xDC},    {"szlig", 0xDF},    {"eacute", 0xE9},  {"egrave", 0xE8},  {"agrave", 0xE0},
    {"ccedil", 0xE7},  {"Eacute", 0xC9},   {"ecirc", 0xEA},   {"aacute", 0xE1},  {"oacute", 0xF3},
    {"iacute", 0xED},  {"uacute", 0xFA},   {"ntilde", 0xF1},  {"larr", 0x2190},  {"rarr", 0x2192},
    {"uarr", 0x2191},  {"darr", 0x2193},   {"pi", 0x3C0},
};

// The character whose valid UTF-8 sequence starts at bytes[pos]; sets `length` to its bytes.
inline char32_t utf8At(std::string_view bytes, std::size_t pos, std::size_t& length) {
    const auto byte = [&](std::size_t k) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[pos + k]));
    };
    const char32_t c = byte(0);
    if (c < 0x80) {
        length = 1;
        return c;
    }
    if (c < 0xE0) {
        length = 2;
        return ((c & 0x1F) << 6) | (byte(1) & 0x3F);
    }
    if (c < 0xF0) {
        length = 3;
        return ((c & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    }
    length = 4;
    return ((c & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
           (byte(3) & 0x3F);
}

// A page's text is walked as decoded characters, or as its own bytes when it is ASCII or
// valid UTF-8: markup is ASCII, and the bytes of other characters are never taken for it.
template <typename Char> char32_t at(std::basic_string_view<Char> text, std::size_t i) {
    if constexpr (sizeof(Char) == 1)
        return static_cast<unsigned char>(text[i]);
    else
        return text[i];
}

// Offset of the next '<' or '&' at or after pos; text.size() if none.
template <typename Char> std::size_t runEnd(std::basic_string_view<Char> text, std::size_t pos) {
    if constexpr (sizeof(Char) == 1) {
        const std::size_t tag = std::min(text.find('<', pos), text.size());
        const std::size_t reference = text.substr(0, tag).find('&', pos);
        return std::min(reference, tag);
    } else {
        while (pos < text.size() && text[pos] != U'<' && text[pos] != U'&')
            ++pos;
        return pos;
    }
}

// Whether text holds the ASCII string `what` at pos, exactly.
template <typename Char>
bool startsWith(std::basic_string_view<Char> text, std::size_t pos, std::string_view what) {
    if (pos > text.size() || text.size() - pos < what.size())
        return false;
    for (std::size_t i = 0; i < what.size(); ++i)
        if (at(text, pos + i) != static_cast<char32_t>(what[i]))
            return false;
    return true;
}

// Offset of the next `what` at or after pos; text.size() if none.
template <typename Char>
std::size_t findAscii(std::basic_string_view<Char> text, std::size_t pos, std::string_view what) {
    for (; pos < text.size(); ++pos) {
        pos = text.find(static_cast<Char>(what[0]), pos);
        if (pos == std::basic_string_view<Char>::npos)
            break;
        if (startsWith(text, pos, what))
            return pos;
    }
    return text.size();
}

// Decodes the character reference at at(text, pos) == '&'; sets `next` past it. U'&' itself when
// it is no reference.
template <typename Char>
char32_t decodeReference(std::basic_string_view<Char> text, std::size_t pos, std::size_t& next) {
    next = pos + 1;
    std::size_t p = pos + 1;
    constexpr std::size_t kLongest = 10;
    if (p < text.size() && at(text, p) == U'#') {
        ++p;
        const bool hex = p < text.size() && (at(text, p) == U'x' || at(text, p) == U'X');
        if (hex)
            ++p;
        std::uint32_t value = 0;
        const std::size_t start = p;
        while (p < text.size() && p - start < 8) {
            const char32_t c = at(text, p);
            std::uint32_t digit = 0;
            if (c >= U'0' && c <= U'9')
                digit = c - U'0';
            else if (hex && c >= U'a' && c <= U'f')
                digit = c - U'a' + 10;
            else if (hex && c >= U'A' && c <= U'F')
                digit = c - U'A' + 10;
            else
                break;
            value = value * (hex ? 16u : 10u) + digit;
            ++p;
        }
        if (p == start)
            return U'&';
        if (p < text.size() && at(text, p) == U';')
            ++p;
        next = p;
        return (value == 0 || value > 0x10FFFF) ? kReplacement : static_cast<char32_t>(value);
    }
    std::string name;
    while (p < text.size() && isAsciiAlnum(at(text, p)) && name.size() < kLongest)
        name.push_back(static_cast<char>(at(text, p++)));
    for (const Entity& e : kEntities) {
        if (name == e.name) {
            if (p < text.size() && at(text, p) == U';')
                ++p;
            next = p;
            return e.value;
        }
    }
    return U'&';
}

template <typename Char>
bool matchesAscii(std::basic_string_view<Char> text, std::size_t pos, std::string_view word) {
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (pos >= text.size())
            return false;
        // A character beyond ASCII may still lower-case to an ASCII letter.
        std::size_t length = 1;
        char32_t c = at(text, pos);
        if constexpr (sizeof(Char) == 1)
            if (c >= 0x80)
                c = utf8At(text, pos, length);
        if (toLower(c) != static_cast<char32_t>(word[i]))
            return false;
        pos += length;
    }
    return true;
}

// Offset of the closing tag "</name" at or after pos (case-insensitive); text.size() if none.
template <typename Char>
std::size_t findClosingTag(std::basic_string_view<Char> text, std::size_t pos,
                           std::string_view name) {
    while ((pos = findAscii(text, pos, "</")) != text.size()) {
        if (matchesAscii(text, pos + 2, name))
            return pos;
        pos += 2;
    }
    return text.size();
}

// Offset just past the '>' that ends the tag starting at pos; quoted values may hold '>'.
template <typename Char> std::size_t tagEnd(std::basic_string_view<Char> text, std::size_t pos) {
    char32_t quote = 0;
    for (std::size_t p = pos + 1; p < text.size(); ++p) {
        const char32_t c = at(text, p);
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == U'"' || c == U'\'') {
            // Only quotes that open an attribute value count; a stray one would swallow the
            // rest of the page.
            if (p > 0 && at(text, p - 1) == U'=')
                quote = c;
        } else if (c == U'>') {
            return p + 1;
        }
    }
    return text.size();
}

// Drops a page's markup: each character of its text goes to sink.put(c), or several at once to
// sink.putRun(text), in order. Every tag
// and comment puts a blank. sink.toTitle() and sink.toBody() switch where the characters go,
// always after a blank; sink.titleStarted() says whether the title got any character yet.
template <typename Char, typename Sink>
void walkPage(std::basic_string_view<Char> text, Sink& sink) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t c = at(text, pos);
        if (c == U'&') {
            std::size_t next = pos;
            sink.put(decodeReference(text, pos, next));
            pos = next;
            continue;
        }
        if (c != U'<') {
            // Text up to the next tag or reference goes to the sink in one piece.
            const std::size_t end = runEnd(text, pos + 1);
            sink.putRun(text.substr(pos, end - pos));
            pos = end;
            continue;
        }
        if (startsWith(text, pos, "<!--")) {
            const std::size_t close = findAscii(text, pos + 4, "-->");
            pos = close == text.size() ? text.size() : close + 3;
            sink.put(U' ');
            continue;
        }
        const std::size_t nameStart = pos + 1;
        const bool closing = nameStart < text.size() && at(text, nameStart) == U'/';
        const std::size_t letters = closing ? nameStart + 1 : nameStart;
        if (letters >= text.size() || !(isAsciiAlnum(at(text, letters)) ||
                                        at(text, letters) == U'!' || at(text, letters) == U'?')) {
            // A lone '<' is text.
            sink.put(c);
            ++pos;
            continue;
        }
        std::size_t nameEnd = letters;
        while (nameEnd < text.size() && isAsciiAlnum(at(text, nameEnd)))
            ++nameEnd;
        char name[8];
        std::size_t nameLength = 0;
        for (std::size_t i = letters; i < nameEnd && nameLength < sizeof name; ++i)
            name[nameLength++] = static_cast<char>(toLower(at(text, i)));
        const std::string_view tag(name, nameLength);
        pos = tagEnd(text, pos);
        sink.put(U' ');
        if (closing) {
            if (tag == "title")
                sink.toBody();
            continue;
        }
        if (tag == "script" || tag == "style") {
            pos = findClosingTag(text, pos, tag);
        } else if (tag == "title") {
            // Only the first title is the page's; later ones are text like any other.
            if (!sink.titleStarted())
                sink.toTitle();
        }
    }
}

// Collects the text itself, for extractPageText.
class TextSink {
public:
    explicit TextSink(PageText& page) : m_page(page), m_target(&page.body) {}
    void put(char32_t c) { m_target->push_back(c); }
    void putRun(std::u32string_view run) { m_target->append(run); }
    void toTitle() { m_target = &m_page.title; }
    void toBody() { m_target = &m_page.body; }
    bool titleStarted() const { return !m_page.title.empty(); }

private:
    PageText& m_page;
    std::u32string* m_target;
};

// Strict UTF-8 (no overlong forms, surrogates or values past U+10FFFF): what iconv decodes
// without complaint.
bool isStrictUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    auto continuation = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            // Markup and Western text: skip ASCII eight bytes at a time.
            ++p;
            while (end - p >= 8) {
                std::uint64_t chunk = 0;
                std::memcpy(&chunk, p, 8);
                if ((chunk & 0x8080808080808080ull) != 0)
                    break;
                p += 8;
            }
        } else if (c >= 0xC2 && c <= 0xDF) {
            if (end - p < 2 || !continuation(p[1]))
                return false;
            p += 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            if (end - p < 3 || !continuation(p[1]) || !continuation(p[2]))
                return false;
            const unsigned v = ((c & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
            if (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF))
                return false;
            p += 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            if (end - p < 4 || !continuation(p[1]) || !continuation(p[2]) || !continuation(p[3]))
                return false;
            const unsigned v = ((c & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) |
                               ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
            if (v < 0x10000 || v > 0x10FFFF)
                return false;
            p += 4;
        } else {
            return false;
        }
    }
    return true;
}

bool isAscii(std::string_view bytes) {
    // Eight bytes at a time, then the rest.
    std::uint64_t any = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t chunk = 0;
        std::memcpy(&chunk, bytes.data() + i, 8);
        any |= chunk;
    }
    for (; i < bytes.size(); ++i)
        any |= static_cast<std::uint8_t>(bytes[i]);
    return (any & 0x8080808080808080ull) == 0;
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

} // namespace

std::string iconvCodePageName(std::uint32_t codePage) {
    switch (codePage) {
    case 874:
    case 932:
    case 936:
    case 949:
    case 950:
        return "CP" + std::to_string(codePage);
    case 65001:
        return "UTF-8";
    default:
        if (codePage >= 1250 && codePage <= 1258)
            return "CP" + std::to_string(codePage);
        return {};
    }
}

std::u32string decodeText(std::string_view bytes, std::uint32_t codePage) {
    std::u32string out;
    bool nonAscii = false;
    if (isValidUtf8(bytes, nonAscii)) {
        if (!nonAscii) {
            out.assign(bytes.begin(), bytes.end());
            return out;
        }
        if (decodeWith("UTF-8", bytes, out))
            return out;
    }
    const std::string name = iconvCodePageName(codePage);
    if (!name.empty() && decodeWith(name, bytes, out))
        return out;
    // No converter at all: bytes beyond ASCII separate words.
    out.clear();
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(b < 0x80 ? b : kReplacement);
    }
    return out;
}

PageText extractPageText(std::string_view html, std::uint32_t codePage) {
    std::u32string text;
    const std::string charset = declaredCharset(html);
    if (charset.empty() || !decodeWith(charset, html, text))
        text = decodeText(html, codePage);
    PageText page;
    page.body.reserve(text.size() / 2);
    TextSink sink(page);
    walkPage(std::u32string_view(text), sink);
    return page;
}

void splitWords(std::u32string_view text, std::vector<std::u32string>& words) {
    std::u32string word;
    auto finish = [&] {
        if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    };
    for (const char32_t c : text) {
        if (!isWordCharacter(c)) {
            finish();
            continue;
        }
        if (isOwnWord(c)) {
            finish();
            words.push_back(std::u32string(1, c));
            continue;
        }
        word.push_back(toLower(c));
    }
    finish();
}

PageWords pageWords(const PageText& text, WordEncoder& encoder) {
    PageWords out;
    std::vector<std::u32string> words;
    splitWords(text.title, words);
    out.titleWords = words.size();
    splitWords(text.body, words);
    out.ends.reserve(words.size());
    std::string bytes;
    for (const auto& word : words) {
        if (encoder.encode(word, bytes) && bytes.size() <= kMaxIndexedWord)
            out.bytes += bytes;
        out.ends.push_back(static_cast<std::uint32_t>(out.bytes.size()));
    }
    return out;
}

struct WordEncoder::Impl {
    std::uint32_t codePage = 0;
    std::string iconvName;
    Iconv converter;
    std::unordered_map<char32_t, std::string> known; // empty string: no encoding

    explicit Impl(std::uint32_t cp)
        : codePage(cp), iconvName(iconvCodePageName(cp)),
          converter(iconvName.empty() ? "UTF-8" : iconvName.c_str(), "UTF-32LE") {}

    const std::string& lookup(char32_t c) {
        auto it = known.find(c);
        if (it != known.end())
            return it->second;
        std::string bytes;
        if (converter.valid()) {
            char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                          static_cast<char>((c >> 16) & 0xFF), static_cast<char>(c >> 24)};
            char out[8] = {};
            char* inPtr = in;
            char* outPtr = out;
            std::size_t inLeft = sizeof in;
            std::size_t outLeft = sizeof out;
            iconv(converter.handle(), nullptr, nullptr, nullptr, nullptr);
            if (iconv(converter.handle(), &inPtr, &inLeft, &outPtr, &outLeft) !=
                static_cast<std::size_t>(-1))
                bytes.assign(out, sizeof out - outLeft);
        }
        return known.emplace(c, std::move(bytes)).first->second;
    }
};

WordEncoder::WordEncoder(std::uint32_t codePage) : m_impl(std::make_unique<Impl>(codePage)) {}

WordEncoder::~WordEncoder() = default;

bool WordEncoder::knownCodePage() const {
    return !m_impl->iconvName.empty() && m_impl->converter.valid();
}

bool WordEncoder::encode(std::u32string_view word, std::string& out) {
    out.clear();
    for (const char32_t c : word) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        const std::string& bytes = m_impl->lookup(c);
        if (bytes.empty())
            return false;
        out += bytes;
    }
    return true;
}

namespace {

// What the cutter knows of a character beyond ASCII: whether it separates words, is a word of
// its own or part of one, and the bytes it is stored as (lower-cased where words are).
struct CharInfo {
    enum Kind : std::uint8_t { Unknown, Separator, OwnWord, WordPart };
    static constexpr std::uint8_t kNoBytes = 0xFF; // not in the code page
    Kind kind = Unknown;
    std::uint8_t length = 0;
    char bytes[4] = {};
};

// Cuts a page's text into encoded words as it is walked.
class WordSink {
public:
    WordSink(WordEncoder& encoder, std::vector<std::unique_ptr<CharInfo[]>>& pages)
        : m_encoder(encoder), m_pages(pages) {}

    void start() {
        m_title.clear();
        m_body.clear();
        m_target = &m_body;
        m_inTitle = false;
        m_titleStarted = false;
        m_inWord = false;
        m_bad = false;
    }

    void put(char32_t c) {
        m_titleStarted = m_titleStarted || m_inTitle;
        if (c >= 0x80) {
            putWide(c);
        } else if (kAsciiWord[c] != 0) {
            begin();
            m_target->bytes.push_back(kAsciiWord[c]);
        } else {
            finish();
        }
    }

    // Most text is ASCII: its letters and digits are lower-cased and appended a run at a time.
    template <typename Char> void putRun(std::basic_string_view<Char> run) {
        if (run.empty())
            return;
        m_titleStarted = m_titleStarted || m_inTitle;
        const std::size_t end = run.size();
        std::size_t p = 0;
        while (p < end) {
            const char32_t c = at(run, p);
            if (c >= 0x80) {
                std::size_t length = 1;
                if constexpr (sizeof(Char) == 1)
                    putWide(utf8At(run, p, length));
                else
                    putWide(c);
                p += length;
                continue;
            }
            if (kAsciiWord[c] == 0) {
                finish();
                ++p;
                continue;
            }
            std::size_t q = p + 1;
            while (q < end && at(run, q) < 0x80 && kAsciiWord[at(run, q)] != 0)
                ++q;
            begin();
            std::string& bytes = m_target->bytes;
            const std::size_t from = bytes.size();
            bytes.resize(from + (q - p));
            char* w = bytes.data() + from;
            for (; p < q; ++p)
                *w++ = kAsciiWord[at(run, p)];
        }
    }
    void toTitle() {
        finish();
        m_target = &m_title;
        m_inTitle = true;
    }
    void toBody() {
        finish();
        m_target = &m_body;
        m_inTitle = false;
    }
    bool titleStarted() const { return m_titleStarted; }

    // The title's words, then the body's, into out.
    void end(PageWords& out) {
        finish();
        out.clear();
        out.bytes.reserve(m_title.bytes.size() + m_body.bytes.size());
        out.bytes = m_title.bytes;
        out.bytes += m_body.bytes;
        out.ends.reserve(m_title.ends.size() + m_body.ends.size());
        out.ends = m_title.ends;
        const auto shift = static_cast<std::uint32_t>(m_title.bytes.size());
        for (const std::uint32_t e : m_body.ends)
            out.ends.push_back(e + shift);
        out.titleWords = m_title.ends.size();
    }

private:
    // An ASCII character as a word stores it (letters lower-cased); 0 for a separator.
    static constexpr std::array<char, 128> kAsciiWord = [] {
        std::array<char, 128> table{};
        for (int c = '0'; c <= '9'; ++c)
            table[static_cast<std::size_t>(c)] = static_cast<char>(c);
        for (int c = 'a'; c <= 'z'; ++c) {
            table[static_cast<std::size_t>(c)] = static_cast<char>(c);
            table[static_cast<std::size_t>(c - 32)] = static_cast<char>(c);
        }
        return table;
    }();

    void putWide(char32_t c) {
        const CharInfo& info = lookup(c);
        switch (info.kind) {
        case CharInfo::WordPart:
            begin();
            if (info.length == CharInfo::kNoBytes)
                m_bad = true;
            else
                appendBytes(info);
            break;
        case CharInfo::OwnWord:
            finish();
            if (info.length != CharInfo::kNoBytes)
                appendBytes(info);
            m_target->ends.push_back(static_cast<std::uint32_t>(m_target->bytes.size()));
            break;
        default:
            finish();
            break;
        }
    }

    // A character's bytes are one to four: added one by one, they stay inline.
    void appendBytes(const CharInfo& info) {
        std::string& bytes = m_target->bytes;
        for (std::uint8_t k = 0; k < info.length; ++k)
            bytes.push_back(info.bytes[k]);
    }

    void begin() {
        if (!m_inWord) {
            m_inWord = true;
            m_wordStart = m_target->bytes.size();
        }
    }
    void finish() {
        if (!m_inWord)
            return;
        if (m_bad || m_target->bytes.size() - m_wordStart > kMaxIndexedWord)
            m_target->bytes.resize(m_wordStart);
        m_target->ends.push_back(static_cast<std::uint32_t>(m_target->bytes.size()));
        m_inWord = false;
        m_bad = false;
    }

    const CharInfo& lookup(char32_t c) {
        static const CharInfo kSeparator{CharInfo::Separator, 0, {}};
        if (c > 0x10FFFF)
            return kSeparator;
        auto& page = m_pages[c >> 8];
        if (!page)
            page = std::make_unique<CharInfo[]>(256);
        CharInfo& info = page[c & 0xFF];
        if (info.kind != CharInfo::Unknown)
            return info;
        if (!isWordCharacter(c)) {
            info.kind = CharInfo::Separator;
            return info;
        }
        info.kind = isOwnWord(c) ? CharInfo::OwnWord : CharInfo::WordPart;
        const char32_t stored = info.kind == CharInfo::OwnWord ? c : toLower(c);
        // No code page a help file uses takes more than four bytes for a character.
        if (m_encoder.encode(std::u32string_view(&stored, 1), m_scratch) &&
            m_scratch.size() <= sizeof info.bytes) {
            info.length = static_cast<std::uint8_t>(m_scratch.size());
            std::memcpy(info.bytes, m_scratch.data(), m_scratch.size());
        } else {
            info.length = CharInfo::kNoBytes;
        }
        return info;
    }

    WordEncoder& m_encoder;
    std::vector<std::unique_ptr<CharInfo[]>>& m_pages;
    std::string m_scratch;
    PageWords m_title;
    PageWords m_body;
    PageWords* m_target = &m_body;
    bool m_inTitle = false;
    bool m_titleStarted = false;
    bool m_inWord = false;
    bool m_bad = false;
    std::size_t m_wordStart = 0;
};

} // namespace

struct PageCutter::Impl {
    std::uint32_t codePage;
    WordEncoder encoder;
    std::vector<std::unique_ptr<CharInfo[]>> charPages;
    // The characters of single-byte code pages by byte, made when first needed; empty for a
    // code page that is not one.
    std::map<std::uint32_t, std::vector<char32_t>> byteTables;
    std::u32string text;
    WordSink sink;

    explicit Impl(std::uint32_t cp)
        : codePage(cp), encoder(cp), charPages(0x110000 >> 8), sink(encoder, charPages) {}

    const std::vector<char32_t>& byteTable(std::uint32_t cp) {
        auto [it, added] = byteTables.try_emplace(cp);
        if (added)
            it->second = makeByteTable(cp);
        return it->second;
    }

    static std::vector<char32_t> makeByteTable(std::uint32_t cp) {
        std::vector<char32_t> table;
        const std::string name = iconvCodePageName(cp);
        if (!byteByByte(cp) || name.empty())
            return table;
        Iconv cd("UTF-32LE", name.c_str());
        if (!cd.valid())
            return table;
        table.resize(256, kReplacement);
        for (unsigned b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            unsigned char out[4] = {};
            char* inPtr = &in;
            auto* outPtr = reinterpret_cast<char*>(out);
            std::size_t inLeft = 1;
            std::size_t outLeft = sizeof out;
            iconv(cd.handle(), nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd.handle(), &inPtr, &inLeft, &outPtr, &outLeft) !=
                    static_cast<std::size_t>(-1) &&
                outLeft == 0)
                table[b] = static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) |
                                                 (static_cast<std::uint32_t>(out[3]) << 24));
        }
        return table;
    }

    void decodeBytes(std::string_view html, const std::vector<char32_t>& table) {
        text.resize(html.size());
        for (std::size_t i = 0; i < html.size(); ++i)
            text[i] = table[static_cast<unsigned char>(html[i])];
    }

    // Decodes a page into text exactly as extractPageText does, without iconv where it can;
    // true instead when the page can be walked as it is: ASCII that reads the same in its
    // character set, or UTF-8 read as UTF-8.
    bool decode(std::string_view html) {
        const std::string charset = declaredCharset(html);
        if (!charset.empty()) {
            if (asciiCompatible(charset) && isAscii(html))
                return true;
            if (charset == "UTF-8" && isStrictUtf8(html))
                return true;
            if (const auto& table = byteTable(namedCodePage(charset)); !table.empty()) {
                decodeBytes(html, table);
                return false;
            }
            if (decodeWith(charset, html, text))
                return false;
        }
        if (isAscii(html))
            return true;
        if (isStrictUtf8(html))
            return true;
        bool nonAscii = false;
        if (!isValidUtf8(html, nonAscii)) {
            if (const auto& table = byteTable(codePage); !table.empty()) {
                decodeBytes(html, table);
                return false;
            }
        }
        text = decodeText(html, codePage);
        return false;
    }
};

PageCutter::PageCutter(std::uint32_t codePage) : m_impl(std::make_unique<Impl>(codePage)) {}

PageCutter::~PageCutter() = default;

void PageCutter::cut(std::string_view html, PageWords& out) {
    m_impl->sink.start();
    if (m_impl->decode(html))
        walkPage(html, m_impl->sink);
    else
        walkPage(std::u32string_view(m_impl->text), m_impl->sink);
    m_impl->sink.end(out);
}

} // namespace chm
