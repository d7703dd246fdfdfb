// A forgiving tag scanner for HTML read as bytes (sitemaps, pages). It does not build a
// document: it reports each start or end tag with its attributes and line, skips comments,
// and never reads past the text it was given.
#pragma once

#include "text/ascii.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace text {

struct HtmlTag {
    std::string name; // as written, with a leading '/' for an end tag
    std::vector<std::pair<std::string, std::string>> attributes; // values raw (entities kept)
    int line = 0;
    std::size_t end = 0; // offset just past the tag's '>'

    // The value of the first attribute of that name (case-insensitive); empty when absent.
    std::string attribute(std::string_view key) const;
};

// Calls visit(tag) for every tag in order. The contents of <script> are skipped.
template <typename Visit> void scanTags(std::string_view text, Visit&& visit);

// Implementation detail of scanTags: parses the tag starting at text[pos] == '<'. Returns
// false when it is no tag (a lone '<'); `next` receives the offset to continue from.
bool parseTag(std::string_view text, std::size_t pos, HtmlTag& tag, std::size_t& next);

template <typename Visit> void scanTags(std::string_view text, Visit&& visit) {
    std::size_t pos = 0;
    int line = 1;
    std::size_t lineCountedTo = 0;
    auto lineAt = [&](std::size_t offset) {
        for (; lineCountedTo < offset && lineCountedTo < text.size(); ++lineCountedTo)
            if (text[lineCountedTo] == '\n')
                ++line;
        return line;
    };
    while (pos < text.size()) {
        const auto lt = text.find('<', pos);
        if (lt == std::string_view::npos)
            break;
        if (text.substr(lt, 4) == "<!--") {
            const auto close = text.find("-->", lt + 4);
            pos = close == std::string_view::npos ? text.size() : close + 3;
            continue;
        }
        HtmlTag tag;
        std::size_t next = lt + 1;
        if (!parseTag(text, lt, tag, next)) {
            pos = next;
            continue;
        }
        tag.line = lineAt(lt);
        tag.end = next;
        pos = next;
        const bool script = equalsIgnoreCase(tag.name, "script");
        visit(tag);
        if (script) {
            // Skip to </script>, case-insensitively.
            std::size_t search = pos;
            std::size_t found = std::string_view::npos;
            while ((search = text.find("</", search)) != std::string_view::npos) {
                if (startsWithIgnoreCase(text.substr(search + 2), "script")) {
                    found = search;
                    break;
                }
                search += 2;
            }
            pos = found == std::string_view::npos ? text.size() : found;
        }
    }
}

} // namespace text
