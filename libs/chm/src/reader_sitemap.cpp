// Sitemaps are HTML with a fixed vocabulary: <UL> opens a level, <LI> (never closed) starts an
// item, <OBJECT type="text/sitemap"> holds its <param name=... value=...> lines, and a <UL>
// right after an item's </OBJECT> holds that item's children. Files in the wild skip quotes,
// mix case, leave lists open and put stray text between tags, so this reader only looks at
// tags and never trusts the nesting to be complete.
#include "chm/reader_sitemap.h"

#include <cstdint>

namespace chm {

namespace {

// Real tables of contents are a few levels deep; beyond this, levels are merged.
constexpr std::size_t kMaxDepth = 64;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string decodeEntities(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        std::size_t semi = s.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out += '&';
            continue;
        }
        std::string_view name = s.substr(i + 1, semi - i - 1);
        if (name.size() > 1 && name[0] == '#') {
            std::uint32_t cp = 0;
            bool hex = name[1] == 'x' || name[1] == 'X';
            bool any = false;
            for (std::size_t k = hex ? 2 : 1; k < name.size(); ++k) {
                char c = name[k];
                int digit = (c >= '0' && c <= '9')          ? c - '0'
                            : hex && (c >= 'a' && c <= 'f') ? c - 'a' + 10
                            : hex && (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                            : -1;
                if (digit < 0 || cp > 0x10FFFF) {
                    any = false;
                    break;
                }
                cp = cp * (hex ? 16u : 10u) + static_cast<std::uint32_t>(digit);
                any = true;
            }
            if (any) {
                appendUtf8(out, cp);
                i = semi;
                continue;
            }
        }
        std::string n = lower(name);
        const char* repl = n == "amp"    ? "&"
                           : n == "lt"   ? "<"
                           : n == "gt"   ? ">"
                           : n == "quot" ? "\""
                           : n == "apos" ? "'"
                           : n == "nbsp" ? " "
                                         : nullptr;
        if (repl) {
            out += repl;
            i = semi;
        } else {
            out += '&';
        }
    }
    return out;
}

struct Tag {
    std::string name; // lower-cased, with a leading '/' for closing tags
    std::string body; // the rest of the tag, as written
};

// Reads the attribute `wanted` from a tag body: name=value, name="value" or name='value'.
std::string attribute(std::string_view body, std::string_view wanted) {
    std::size_t i = 0;
    while (i < body.size()) {
        while (i < body.size() && (body[i] == ' ' || body[i] == '\t' || body[i] == '\r' ||
                                   body[i] == '\n' || body[i] == '/'))
            ++i;
        std::size_t start = i;
        while (i < body.size() && body[i] != '=' && body[i] != ' ' && body[i] != '\t' &&
               body[i] != '\r' && body[i] != '\n')
            ++i;
        std::string key = lower(body.substr(start, i - start));
        while (i < body.size() && (body[i] == ' ' || body[i] == '\t'))
            ++i;
        std::string value;
        if (i < body.size() && body[i] == '=') {
            ++i;
            while (i < body.size() && (body[i] == ' ' || body[i] == '\t'))
                ++i;
            if (i < body.size() && (body[i] == '"' || body[i] == '\'')) {
                char quote = body[i++];
                std::size_t end = body.find(quote, i);
                if (end == std::string_view::npos)
                    end = body.size();
                value = std::string(body.substr(i, end - i));
                i = end + 1;
            } else {
                std::size_t vs = i;
                while (i < body.size() && body[i] != ' ' && body[i] != '\t' && body[i] != '>')
                    ++i;
                value = std::string(body.substr(vs, i - vs));
            }
        }
        if (key == wanted)
            return decodeEntities(value);
        if (start == i)
            ++i;
    }
    return {};
}

} // namespace

Sitemap parseSitemap(std::string_view text) {
    Sitemap map;
    // The path of open lists; each level appends to the list it points at.
    std::vector<std::vector<SitemapItem>*> levels{&map.items};
    bool inItem = false;       // inside <OBJECT type="text/sitemap">
    bool inProperties = false; // inside <OBJECT type="text/site properties">
    bool pendingName = false;  // the last topic of this item has a Name but no Local yet
    SitemapItem current;

    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t open = text.find('<', i);
        if (open == std::string_view::npos)
            break;
        if (text.substr(open, 4) == "<!--") {
            std::size_t end = text.find("-->", open + 4);
            i = end == std::string_view::npos ? text.size() : end + 3;
            continue;
        }
        std::size_t close = text.find('>', open);
        if (close == std::string_view::npos)
            break;
        std::string_view inner = text.substr(open + 1, close - open - 1);
        i = close + 1;
        std::size_t nameEnd = 0;
        while (nameEnd < inner.size() && inner[nameEnd] != ' ' && inner[nameEnd] != '\t' &&
               inner[nameEnd] != '\r' && inner[nameEnd] != '\n')
            ++nameEnd;
        Tag tag{lower(inner.substr(0, nameEnd)), std::string(inner.substr(nameEnd))};

        if (tag.name == "ul") {
            std::vector<SitemapItem>* level = levels.back();
            if (!level->empty() && levels.size() < kMaxDepth)
                levels.push_back(&level->back().children);
            else
                levels.push_back(level); // a list with no item before it: same level
        } else if (tag.name == "/ul") {
            if (levels.size() > 1)
                levels.pop_back();
        } else if (tag.name == "object") {
            std::string type = lower(attribute(tag.body, "type"));
            if (type == "text/sitemap") {
                inItem = true;
                pendingName = false;
                current = SitemapItem();
            } else if (type == "text/site properties") {
                inProperties = true;
            }
        } else if (tag.name == "param") {
            std::string key = lower(attribute(tag.body, "name"));
            std::string value = attribute(tag.body, "value");
            if (inItem) {
                if (key == "name") {
                    if (current.name.empty() && current.topics.empty()) {
                        current.name = value;
                    } else {
                        current.topics.push_back({value, {}});
                        pendingName = true;
                    }
                } else if (key == "local") {
                    if (current.local.empty())
                        current.local = value;
                    if (pendingName)
                        current.topics.back().local = value;
                    else
                        current.topics.push_back({{}, value});
                    pendingName = false;
                } else if (key == "url") {
                    current.url = value;
                } else if (key == "see also") {
                    current.seeAlso = value;
                }
            } else if (inProperties && key == "font") {
                map.fontProperty = value;
            }
        } else if (tag.name == "/object") {
            if (inItem) {
                levels.back()->push_back(std::move(current));
                current = SitemapItem();
            }
            inItem = false;
            inProperties = false;
        }
    }
    return map;
}

} // namespace chm
