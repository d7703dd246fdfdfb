// Named references and the decoding of attribute values.
#include "text/references.h"

#include "text/utf8.h"

namespace text {

namespace {

struct Named {
    std::string_view name;
    char32_t value;
};

// The named references help pages use; numeric ones are decoded in general.
constexpr Named kNamed[] = {
    {"amp", U'&'},      {"lt", U'<'},      {"gt", U'>'},      {"quot", U'"'},    {"apos", U'\''},
    {"AMP", U'&'},      {"LT", U'<'},      {"GT", U'>'},      {"QUOT", U'"'},    {"nbsp", 0xA0},
    {"copy", 0xA9},     {"reg", 0xAE},     {"trade", 0x2122}, {"mdash", 0x2014}, {"ndash", 0x2013},
    {"hellip", 0x2026}, {"laquo", 0xAB},   {"raquo", 0xBB},   {"ldquo", 0x201C}, {"rdquo", 0x201D},
    {"lsquo", 0x2018},  {"rsquo", 0x2019}, {"middot", 0xB7},  {"bull", 0x2022},  {"times", 0xD7},
    {"deg", 0xB0},      {"shy", 0xAD},     {"para", 0xB6},    {"sect", 0xA7},    {"auml", 0xE4},
    {"ouml", 0xF6},     {"uuml", 0xFC},    {"Auml", 0xC4},    {"Ouml", 0xD6},    {"Uuml", 0xDC},
    {"szlig", 0xDF},    {"eacute", 0xE9},  {"egrave", 0xE8},  {"agrave", 0xE0},  {"ccedil", 0xE7},
    {"Eacute", 0xC9},   {"ecirc", 0xEA},   {"aacute", 0xE1},  {"oacute", 0xF3},  {"iacute", 0xED},
    {"uacute", 0xFA},   {"ntilde", 0xF1},  {"larr", 0x2190},  {"rarr", 0x2192},  {"uarr", 0x2191},
    {"darr", 0x2193},   {"pi", 0x3C0},
};

} // namespace

std::optional<char32_t> namedReference(std::string_view name) {
    for (const Named& n : kNamed)
        if (n.name == name)
            return n.value;
    return std::nullopt;
}

std::string decodeReferences(std::string_view value, bool utf8) {
    std::string out;
    out.reserve(value.size());
    std::size_t i = 0;
    while (i < value.size()) {
        const std::size_t amp = value.find('&', i);
        out.append(value.substr(i, amp - i));
        if (amp == std::string_view::npos)
            break;
        const std::optional<Reference> reference = readReference(value, amp, true);
        if (!reference || (!utf8 && reference->character >= 0x80 && reference->character != 0xA0)) {
            out.push_back('&');
            i = amp + 1;
            continue;
        }
        appendUtf8(out, reference->character == 0xA0 ? U' ' : reference->character);
        i = amp + reference->length;
    }
    return out;
}

} // namespace text
