// Tag scanner. Generated sitemaps write captions unescaped, so a value may hold a bare double
// quote ("Say "hi""): a quote closes a value only where the tag could go on after it.
#include "text/html_tags.h"

namespace text {

namespace {

// How far a quoted value is searched for a quote that plausibly ends it, past quotes that
// do not. Real values with a bare quote inside are captions, far shorter than this.
constexpr std::size_t kMaxQuotedScan = 1024;

bool isNameChar(char c) {
    return !isAsciiSpace(c) && c != '>' && c != '<' && c != '=' && c != '"' && c != '\'' &&
           c != '/';
}

// A quote at text[q] ends the value if what follows it is the end of the tag or another
// attribute ("name=" or a bare name followed by whitespace or '>').
bool closesValue(std::string_view text, std::size_t q) {
    std::size_t i = q + 1;
    if (i >= text.size())
        return true;
    if (text[i] == '>' || text[i] == '/')
        return true;
    if (!isAsciiSpace(text[i]))
        return false;
    while (i < text.size() && isAsciiSpace(text[i]))
        ++i;
    if (i >= text.size() || text[i] == '>' || text[i] == '/')
        return true;
    std::size_t nameEnd = i;
    while (nameEnd < text.size() && isNameChar(text[nameEnd]))
        ++nameEnd;
    if (nameEnd == i)
        return false;
    while (nameEnd < text.size() && isAsciiSpace(text[nameEnd]))
        ++nameEnd;
    return nameEnd < text.size() && (text[nameEnd] == '=' || text[nameEnd] == '>');
}

} // namespace

std::string HtmlTag::attribute(std::string_view key) const {
    for (const auto& [attributeName, value] : attributes)
        if (equalsIgnoreCase(attributeName, key))
            return value;
    return {};
}

bool parseTag(std::string_view text, std::size_t pos, HtmlTag& tag, std::size_t& next) {
    std::size_t i = pos + 1;
    std::size_t nameStart = i;
    if (i < text.size() && (text[i] == '/' || text[i] == '!' || text[i] == '?'))
        ++i;
    while (i < text.size() && isNameChar(text[i]))
        ++i;
    if (i == nameStart || (i == nameStart + 1 && !isNameChar(text[nameStart]))) {
        next = pos + 1;
        return false;
    }
    tag.name = std::string(text.substr(nameStart, i - nameStart));
    while (i < text.size()) {
        while (i < text.size() && (isAsciiSpace(text[i]) || text[i] == '/'))
            ++i;
        if (i >= text.size())
            break;
        if (text[i] == '>') {
            next = i + 1;
            return true;
        }
        if (text[i] == '<') {
            // An unclosed tag: stop before the next one so it is not lost.
            next = i;
            return true;
        }
        std::size_t keyStart = i;
        while (i < text.size() && isNameChar(text[i]))
            ++i;
        if (i == keyStart) {
            ++i; // a stray quote or '='
            continue;
        }
        std::string key(text.substr(keyStart, i - keyStart));
        std::size_t j = i;
        while (j < text.size() && isAsciiSpace(text[j]))
            ++j;
        std::string value;
        if (j < text.size() && text[j] == '=') {
            ++j;
            while (j < text.size() && isAsciiSpace(text[j]))
                ++j;
            if (j < text.size() && (text[j] == '"' || text[j] == '\'')) {
                const char quote = text[j];
                const std::size_t valueStart = j + 1;
                std::size_t q = valueStart;
                std::size_t close = std::string_view::npos;
                // Bounded, so a text full of stray quotes cannot make scanning quadratic.
                const std::size_t limit = valueStart + kMaxQuotedScan;
                bool first = true;
                while ((q = text.find(quote, q)) != std::string_view::npos &&
                       (first || q < limit)) {
                    first = false;
                    if (closesValue(text, q)) {
                        close = q;
                        break;
                    }
                    ++q;
                }
                if (close == std::string_view::npos) {
                    // No plausible end: the value runs to the end of the tag.
                    auto gt = text.find('>', valueStart);
                    close = gt == std::string_view::npos ? text.size() : gt;
                    value = std::string(text.substr(valueStart, close - valueStart));
                    i = close;
                } else {
                    value = std::string(text.substr(valueStart, close - valueStart));
                    i = close + 1;
                }
            } else {
                std::size_t valueStart = j;
                while (j < text.size() && !isAsciiSpace(text[j]) && text[j] != '>')
                    ++j;
                value = std::string(text.substr(valueStart, j - valueStart));
                i = j;
            }
        }
        tag.attributes.emplace_back(std::move(key), std::move(value));
    }
    next = text.size();
    return true;
}

} // namespace text
