// The markup walk of the full-text index: a page's text without its tags, comments, scripts
// and style sheets, character references decoded, walked as decoded characters or, when the
// page is ASCII or valid UTF-8, as its own bytes (markup is ASCII, and the bytes of other
// characters are never taken for it).
#pragma once

#include "search_word_rules.h"
#include "text/references.h"
#include "text/utf8.h"

#include <string>
#include <string_view>

namespace chm::detail {

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
                c = text::utf8At(text, pos, length);
        if (toLowerUnicode(c) != static_cast<char32_t>(word[i]))
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
            const auto reference = text::readReference(text, pos, false);
            sink.put(reference ? reference->character : c);
            pos += reference ? reference->length : 1;
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
            name[nameLength++] = static_cast<char>(toLowerUnicode(at(text, i)));
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

} // namespace chm::detail
