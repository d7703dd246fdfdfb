// $OBJINST: the search engine's object settings, keyed to the code page and LCID, with the word
// breaker's character table for that code page.
#include "byte_writer.h"
#include "chm/system_tables.h"

#include <algorithm>
#include <array>
#include <iconv.h>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <type_traits>

namespace chm {

using detail::putU16;
using detail::putU32;
using detail::putZeros;

namespace {

void putGuid(std::vector<std::uint8_t>& out, std::uint32_t d1, std::uint16_t d2, std::uint16_t d3,
             std::uint64_t d4BigEndian) {
    putU32(out, d1);
    putU16(out, d2);
    putU16(out, d3);
    for (int shift = 56; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(d4BigEndian >> shift));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The word breaker's character table ($OBJINST object 1)
//
// Object 1 describes every byte of the project's code page to the viewer's search: a 256-entry
// table of 10-byte records, then the ligatures that expand to two letters, then a reference to
// the stemmer. Each record holds
//   byte 0  class: 0 other, 1 a plain letter (a-z, and '_'), 2 any other letter, 3 digit,
//           4 comma, 5 full stop, 6 apostrophe, 9 wildcard ('*', '?'), 0x0C ligature
//   byte 1  typographic punctuation: 1 bullet, 2 en dash, 3 em dash, 4-7 the curly quotes
//   u16     sort weight; a letter shares the weight of its unaccented ASCII letter
//   byte 4  the byte the character folds to: the lower-case ASCII letter for a Latin letter,
//           the lower case for letters of other scripts, otherwise the byte itself
//   byte 5  the byte itself
//   byte 6,7  the same character in the Macintosh code page of that script, twice; 0x20 when
//           it has none
//   u16     0
// Microsoft's compiler writes the table for code page 1252 from an older edition of that code
// page (no Z with caron) and of Mac Roman (0xDB the currency sign, not the euro), sends the
// spacing circumflex and tilde and the soft hyphen to their ASCII look-alikes in the Mac column,
// and has a few entries no rule explains (byte 0x01 in class 7, 0x0E's Mac byte 0x14, 0x14
// weighed as a space, eth folding to 'o', the division sign weighed between '.' and '/'). They
// are kept, so that our table for 1252 is Microsoft's byte for byte. The weights of the symbols
// in 0x80-0xBF are Microsoft's for 1252 by position; other code pages reuse them, since a weight
// only orders the symbols among themselves.
//
// In a double-byte code page (932, 936, 949, 950) a byte from 0x81 up is half a character: the
// table cannot say anything true about its case, accents or Mac form, so those entries are
// symbols standing for themselves and the characters are left to the viewer's own handling of
// those languages. What the viewer makes of tables for code pages other than 1252 is unverified.
namespace {

constexpr std::size_t kCharTableHeaderSize = 80; // object 1 up to its first record

constexpr std::size_t kCharRecordSize = 10;
constexpr std::size_t kCharCount = 256;
constexpr std::uint8_t kMacUnmapped = 0x20;

enum CharClass : std::uint8_t {
    kClassOther = 0,
    kClassPlainLetter = 1,
    kClassLetter = 2,
    kClassDigit = 3,
    kClassComma = 4,
    kClassFullStop = 5,
    kClassApostrophe = 6,
    kClassControlA = 7,
    kClassWildcard = 9,
    kClassLigature = 0x0C,
};

// Digits and letters sort after every symbol: the digits 10 apart, the ASCII letters 20 apart.
constexpr std::uint16_t kDigitWeight = 0x460;
constexpr std::uint16_t kDigitStep = 10;
constexpr std::uint16_t kLetterWeight = 0x4CE;
constexpr std::uint16_t kLetterStep = 20;
// Letters with no ASCII base count down from the digits 10 apart, ending 20 below '0' (where
// Microsoft puts thorn); if there are too many for the room above the symbols they follow 'z'.
constexpr std::uint16_t kOtherLetterStep = 10;
constexpr std::uint16_t kOtherLetterEnd = kDigitWeight - 2 * kOtherLetterStep;
constexpr std::uint16_t kAfterZWeight = kLetterWeight + 26 * kLetterStep;

// Symbol weights: ASCII punctuation from 0x23 five apart, DEL one above '~'.
constexpr std::uint16_t kPunctuationWeight = 0x23;
constexpr std::uint16_t kPunctuationStep = 5;
constexpr std::uint16_t kDeleteWeight = 0xBF;
// 0x80-0xBF by position; positions that hold a letter in 1252 are filled in between neighbours.
constexpr std::array<std::uint16_t, 64> kHighSymbolWeight = {
    0x0C0, 0x0C1, 0x0C3, 0x0C8, 0x0CD, 0x0D2, 0x0D7, 0x0DC, // 0x80
    0x0E1, 0x0E6, 0x0EB, 0x0F0, 0x0F5, 0x0F6, 0x0F7, 0x0F8, // 0x88
    0x0F9, 0x0FA, 0x0FF, 0x104, 0x109, 0x10E, 0x113, 0x118, // 0x90
    0x11D, 0x122, 0x127, 0x131, 0x136, 0x137, 0x138, 0x13A, // 0x98
    0x13C, 0x140, 0x145, 0x14A, 0x14F, 0x154, 0x159, 0x15E, // 0xA0
    0x163, 0x168, 0x16D, 0x172, 0x177, 0x17C, 0x181, 0x186, // 0xA8
    0x18B, 0x190, 0x195, 0x19A, 0x19F, 0x1A4, 0x1A9, 0x1AE, // 0xB0
    0x1B3, 0x1B8, 0x1BD, 0x1C2, 0x1C7, 0x1CC, 0x1D1, 0x1D6, // 0xB8
};
// Symbols from 0xC0 up continue five apart after the last of those.
constexpr std::uint16_t kTopSymbolStep = 5;

// Ligatures in the order Microsoft lists them, with their two-letter expansions.
struct Ligature {
    char32_t ch;
    char first, second;
};
constexpr std::array<Ligature, 7> kLigatures = {{{0xC6, 'a', 'e'},
                                                 {0xE6, 'a', 'e'},
                                                 {0xDF, 's', 's'},
                                                 {0x152, 'o', 'e'},
                                                 {0x153, 'o', 'e'},
                                                 {0x132, 'i', 'j'},
                                                 {0x133, 'i', 'j'}}};

// What the table needs to know about one Unicode character. Only the scripts of the Windows
// single-byte code pages are known; anything else is a symbol.
struct CharFacts {
    bool letter = false;
    char asciiBase = 0; // lower-case ASCII letter of a Latin letter, 0 if none
    char32_t lower = 0; // lower case of a letter of another script
    bool latin = false;
};

// Latin-1 and Latin Extended-A letters by their ASCII base; '.' marks letters with no ASCII
// base or handled as ligatures, ' ' a non-letter.
constexpr std::string_view kLatin1Bases = "AAAAAA.CEEEEIIII"
                                          "DNOOOOO OUUUUY.."
                                          "aaaaaa.ceeeeiiii"
                                          "dnooooo ouuuuy.y";
constexpr std::string_view kLatinExtABases = "AaAaAaCcCcCcCcDd"
                                             "DdEeEeEeEeEeGgGg"
                                             "GgGgHhHhIiIiIiIi"
                                             "Ii..JjKk.LlLlLlL"
                                             "lLlNnNnNnnNnOoOo"
                                             "Oo..RrRrRrSsSsSs"
                                             "SsTtTtTtUuUuUuUu"
                                             "UuUuWwYyYZzZzZzs";

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

CharFacts charFacts(char32_t u) {
    CharFacts f;
    auto fromBases = [&](std::string_view bases, char32_t first) {
        const char b = bases[u - first];
        if (b == ' ')
            return;
        f.letter = true;
        f.latin = true;
        if (b != '.')
            f.asciiBase = asciiLower(b);
    };
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) {
        f.letter = f.latin = true;
        f.asciiBase = asciiLower(static_cast<char>(u));
    } else if (u >= 0xC0 && u <= 0xFF) {
        fromBases(kLatin1Bases, 0xC0);
    } else if (u >= 0x100 && u <= 0x17F) {
        fromBases(kLatinExtABases, 0x100);
    } else if (u == 0x1A0 || u == 0x1A1 || u == 0x1AF || u == 0x1B0) { // Vietnamese horns
        f.letter = f.latin = true;
        f.asciiBase = u < 0x1AF ? 'o' : 'u';
    } else if (u == 0x386 ||
               (u >= 0x388 && u <= 0x3CE && u != 0x38B && u != 0x38D && u != 0x3A2)) { // Greek
        f.letter = true;
        if (u == 0x386)
            f.lower = 0x3AC;
        else if (u <= 0x38A)
            f.lower = u + 37;
        else if (u == 0x38C)
            f.lower = 0x3CC;
        else if (u <= 0x38F)
            f.lower = u + 63;
        else if (u >= 0x391 && u <= 0x3AB)
            f.lower = u + 32;
        else
            f.lower = u;
    } else if (u >= 0x400 && u <= 0x45F) { // Cyrillic
        f.letter = true;
        f.lower = u < 0x410 ? u + 80 : u < 0x430 ? u + 32 : u;
    } else if (u == 0x490 || u == 0x491) {
        f.letter = true;
        f.lower = 0x491;
    } else if ((u >= 0x5D0 && u <= 0x5EA) || (u >= 0x621 && u <= 0x63A) ||
               (u >= 0x641 && u <= 0x64A) || (u >= 0x671 && u <= 0x6D3) ||
               (u >= 0xE01 && u <= 0xE2E)) { // Hebrew, Arabic, Thai: no case
        f.letter = true;
        f.lower = u;
    }
    return f;
}

struct IconvCloser {
    void operator()(iconv_t handle) const { iconv_close(handle); }
};
using Iconv = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

Iconv openIconv(const char* to, const std::string& from) {
    iconv_t handle = iconv_open(to, from.c_str());
    if (handle == reinterpret_cast<iconv_t>(-1)) // NOLINT: iconv's documented failure value
        return nullptr;
    return Iconv(handle);
}

// Converts in to at most out.size() bytes; the number written, or nothing on any failure
// (an unmapped character, an incomplete double-byte sequence).
std::optional<std::size_t> convertOnce(iconv_t handle, std::string_view in, std::span<char> out) {
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    // iconv's interface is not const-correct; it does not write through the input pointer.
    char* inPtr = const_cast<char*>(in.data()); // NOLINT
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    if (iconv(handle, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0)
        return std::nullopt;
    return out.size() - outLeft;
}

std::string utf32le(char32_t u) {
    std::string s(4, '\0');
    for (std::size_t i = 0; i < 4; ++i)
        s[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
    return s;
}

// The Macintosh code page that covers the script of a Windows code page; Mac Roman for the
// scripts iconv has no Mac code page for, so that at least the shared symbols carry over.
const char* macCodePageName(std::uint32_t codePage) {
    switch (codePage) {
    case 1250:
    case 1257:
        return "MAC-CENTRALEUROPE";
    case 1251:
        return "MAC-CYRILLIC";
    default:
        return "MACINTOSH";
    }
}

struct CharTable {
    std::array<std::uint8_t, kCharCount * kCharRecordSize> records{};
    std::vector<std::array<std::uint8_t, 3>> ligatures;
};

CharTable buildCharTable(std::uint32_t codePage) {
    // What each byte is in Unicode; empty for bytes the code page leaves undefined and for the
    // lead bytes of a double-byte code page.
    std::array<std::optional<char32_t>, kCharCount> unicode{};
    for (std::size_t b = 0; b < 0x80; ++b)
        unicode[b] = static_cast<char32_t>(b);
    const std::string name = "CP" + std::to_string(codePage);
    if (Iconv toUnicode = openIconv("UTF-32LE", name)) {
        for (std::size_t b = 0x80; b < kCharCount; ++b) {
            const char in = static_cast<char>(b);
            std::array<char, 8> out{};
            if (convertOnce(toUnicode.get(), {&in, 1}, out) == std::size_t{4}) {
                char32_t u = 0;
                for (std::size_t i = 0; i < 4; ++i)
                    u |= static_cast<char32_t>(static_cast<std::uint8_t>(out[i])) << (8 * i);
                unicode[b] = u;
            }
        }
    }
    if (codePage == 1252) {
        unicode[0x8E].reset(); // Z with caron came to 1252 after Microsoft's table was made
        unicode[0x9E].reset();
    }
    auto byteOf = [&](char32_t u) -> std::optional<std::uint8_t> {
        for (std::size_t b = 0; b < kCharCount; ++b)
            if (unicode[b] == u)
                return static_cast<std::uint8_t>(b);
        return std::nullopt;
    };

    // Mac column.
    std::array<std::uint8_t, kCharCount> mac{};
    const char* macName = macCodePageName(codePage);
    const bool macRoman = std::string_view(macName) == "MACINTOSH";
    Iconv toMac = openIconv(macName, "UTF-32LE");
    for (std::size_t b = 0; b < kCharCount; ++b) {
        mac[b] = kMacUnmapped;
        if (!unicode[b])
            continue;
        const char32_t u = *unicode[b];
        if (u < 0x80) {
            mac[b] = static_cast<std::uint8_t>(u);
        } else if (u == 0x2C6 || u == 0x2DC || u == 0xAD) {
            mac[b] = u == 0x2C6 ? '^' : u == 0x2DC ? '~' : '-';
        } else if (u == 0xA0) {
            mac[b] = static_cast<std::uint8_t>(b);
        } else if (macRoman && (u == 0x20AC || u == 0xA4)) {
            if (u == 0xA4)
                mac[b] = 0xDB; // Mac Roman before the euro
        } else if (toMac) {
            std::array<char, 4> out{};
            if (convertOnce(toMac.get(), utf32le(u), out) == std::size_t{1})
                mac[b] = static_cast<std::uint8_t>(out[0]);
        }
    }
    mac[0x0E] = 0x14;

    // Letters with no ASCII base, weighed in the order of their folded form.
    std::array<CharFacts, kCharCount> facts{};
    std::vector<char32_t> others;
    for (std::size_t b = 0; b < kCharCount; ++b) {
        if (!unicode[b])
            continue;
        facts[b] = charFacts(*unicode[b]);
        if (!facts[b].letter || facts[b].asciiBase != 0)
            continue;
        bool ligature = false;
        for (const Ligature& l : kLigatures)
            ligature = ligature || l.ch == *unicode[b];
        if (!ligature)
            others.push_back(facts[b].latin ? *unicode[b] : facts[b].lower);
    }
    std::sort(others.begin(), others.end());
    others.erase(std::unique(others.begin(), others.end()), others.end());
    std::size_t topSymbols = 0;
    for (std::size_t b = 0xC0; b < kCharCount; ++b)
        if (!facts[b].letter)
            ++topSymbols;
    const std::size_t highestSymbolWeight = kHighSymbolWeight.back() + kTopSymbolStep * topSymbols;
    const bool othersBelowDigits =
        others.empty() ||
        highestSymbolWeight + (others.size() - 1) * kOtherLetterStep < kOtherLetterEnd;
    auto otherWeight = [&](char32_t folded) {
        const auto rank = static_cast<std::size_t>(
            std::lower_bound(others.begin(), others.end(), folded) - others.begin());
        if (othersBelowDigits)
            return static_cast<std::uint16_t>(kOtherLetterEnd -
                                              (others.size() - 1 - rank) * kOtherLetterStep);
        return static_cast<std::uint16_t>(kAfterZWeight + rank * kLetterStep);
    };

    CharTable table;
    std::uint16_t punctuationWeight = kPunctuationWeight;
    std::uint16_t topSymbolWeight = kHighSymbolWeight.back();
    for (std::size_t b = 0; b < kCharCount; ++b) {
        const auto self = static_cast<std::uint8_t>(b);
        std::uint8_t cls = kClassOther;
        std::uint8_t punctuation = 0;
        std::uint16_t weight = 0;
        std::uint8_t folded = self;
        const char32_t u = unicode[b].value_or(0);
        const CharFacts& f = facts[b];

        const Ligature* ligature = nullptr;
        for (const Ligature& l : kLigatures)
            if (unicode[b] && l.ch == u)
                ligature = &l;
        if (ligature) {
            cls = kClassLigature;
            folded = static_cast<std::uint8_t>(ligature->first);
            weight =
                static_cast<std::uint16_t>(kLetterWeight + (ligature->first - 'a') * kLetterStep);
        } else if (f.letter && f.asciiBase != 0) {
            cls = u >= 'a' && u <= 'z' ? kClassPlainLetter : kClassLetter;
            folded = static_cast<std::uint8_t>(f.asciiBase);
            weight = static_cast<std::uint16_t>(kLetterWeight + (f.asciiBase - 'a') * kLetterStep);
        } else if (f.letter) {
            cls = kClassLetter;
            const char32_t key = f.latin ? u : f.lower;
            if (!f.latin)
                folded = byteOf(f.lower).value_or(self);
            weight = otherWeight(key);
        } else if (u >= '0' && u <= '9' && unicode[b]) {
            cls = kClassDigit;
            weight = static_cast<std::uint16_t>(kDigitWeight + (u - '0') * kDigitStep);
        } else {
            // A symbol, control or undefined byte.
            if (b <= 0x20)
                weight = b == 0x14 ? 0x20 : self;
            else if (b < 0x7F)
                weight = punctuationWeight;
            else if (b == 0x7F)
                weight = kDeleteWeight;
            else if (b < 0xC0)
                weight = kHighSymbolWeight[b - 0x80];
            else
                weight = topSymbolWeight =
                    static_cast<std::uint16_t>(topSymbolWeight + kTopSymbolStep);
            switch (u) {
            case ',':
                cls = kClassComma;
                break;
            case '.':
                cls = kClassFullStop;
                break;
            case '\'':
                cls = kClassApostrophe;
                break;
            case '*':
            case '?':
                cls = kClassWildcard;
                break;
            case '_':
                cls = kClassPlainLetter;
                break;
            case 0x01:
                cls = kClassControlA;
                break;
            case 0x2022:
                punctuation = 1;
                break;
            case 0x2013:
                punctuation = 2;
                break;
            case 0x2014:
                punctuation = 3;
                break;
            case 0x2018:
                punctuation = 4;
                break;
            case 0x2019:
                punctuation = 5;
                break;
            case 0x201C:
                punctuation = 6;
                break;
            case 0x201D:
                punctuation = 7;
                break;
            default:
                break;
            }
        }
        if (b > 0x20 && b < 0x7F && !(f.letter || (u >= '0' && u <= '9')))
            punctuationWeight = static_cast<std::uint16_t>(punctuationWeight + kPunctuationStep);
        if (codePage == 1252) {
            if (u == 0xF0)
                folded = 'o'; // eth
            else if (u == 0xF7)
                weight = 0x66; // division sign
        }

        std::uint8_t* r = &table.records[b * kCharRecordSize];
        r[0] = cls;
        r[1] = punctuation;
        r[2] = static_cast<std::uint8_t>(weight);
        r[3] = static_cast<std::uint8_t>(weight >> 8);
        r[4] = folded;
        r[5] = self;
        r[6] = r[7] = mac[b];
    }
    // Ligatures in their listed order, not byte order.
    for (const Ligature& l : kLigatures)
        if (auto b = byteOf(l.ch))
            table.ligatures.push_back(
                {*b, static_cast<std::uint8_t>(l.first), static_cast<std::uint8_t>(l.second)});
    return table;
}

} // namespace

std::vector<std::uint8_t> buildObjectInstance(std::uint32_t codePage, std::uint32_t lcid) {
    // Two objects: the word breaker's character table and the search catalogue's settings.
    const CharTable table = buildCharTable(codePage);
    const std::size_t tableBytes = table.records.size() + 3 * table.ligatures.size();

    std::vector<std::uint8_t> wordBreaker;
    putGuid(wordBreaker, 0x4662DAAF, 0xD393, 0x11D0, 0x9A5600C04FB68BF7);
    putU32(wordBreaker, 0x04000000); // version
    putU32(wordBreaker, 0x0B);       // flags
    putU32(wordBreaker, codePage);
    putU32(wordBreaker, lcid);
    putU32(wordBreaker, 0);
    putU32(wordBreaker, 0);
    putU32(wordBreaker, 0x00145555); // the same for every language, meaning unknown
    putU32(wordBreaker, static_cast<std::uint32_t>(tableBytes));
    putU16(wordBreaker, static_cast<std::uint16_t>(kCharCount));
    putU16(wordBreaker, static_cast<std::uint16_t>(table.ligatures.size()));
    putU16(wordBreaker, 3); // bytes per ligature: the character and its two letters
    putZeros(wordBreaker, kCharTableHeaderSize - wordBreaker.size());
    wordBreaker.insert(wordBreaker.end(), table.records.begin(), table.records.end());
    for (const auto& ligature : table.ligatures)
        wordBreaker.insert(wordBreaker.end(), ligature.begin(), ligature.end());
    // The stemmer: none of its own, keyed to the same language.
    putGuid(wordBreaker, 0x8FA0D5A8, 0xDEDF, 0x11D0, 0x9A6100C04FB68BF7);
    putU32(wordBreaker, 0x04000000); // version
    putU32(wordBreaker, 1);
    putU32(wordBreaker, codePage);
    putU32(wordBreaker, lcid);
    putU32(wordBreaker, 0);

    std::vector<std::uint8_t> catalogue;
    putGuid(catalogue, 0x4662DAB0, 0xD393, 0x11D0, 0x9A5600C04FB68B66);
    putU32(catalogue, 666);
    putU32(catalogue, codePage);
    putU32(catalogue, lcid);
    putU32(catalogue, 10031);
    putU32(catalogue, 0);

    constexpr std::uint32_t kHeaderSize = 24;
    std::vector<std::uint8_t> out;
    putU32(out, 0x04000000); // version
    putU32(out, 2);          // object count
    putU32(out, kHeaderSize);
    putU32(out, static_cast<std::uint32_t>(wordBreaker.size()));
    putU32(out, kHeaderSize + static_cast<std::uint32_t>(wordBreaker.size()));
    putU32(out, static_cast<std::uint32_t>(catalogue.size()));
    out.insert(out.end(), wordBreaker.begin(), wordBreaker.end());
    out.insert(out.end(), catalogue.begin(), catalogue.end());
    return out;
}

} // namespace chm
