// Sitemap reader. The files are loose HTML written by many tools: we only follow <UL>, </UL>,
// <OBJECT>, <PARAM> and </OBJECT>, and build the tree from the nesting depth at which each
// item closes.
#include "hhp/sitemap.h"

#include "html_scan.h"
#include "text_util.h"

namespace hhp {

using detail::iequals;

namespace {

// Deeper lists than this are kept at this depth: a help viewer's tree would not show them
// usefully, and recursion over the tree stays bounded.
constexpr int kMaxDepth = 64;

struct FlatEntry {
    int depth;
    SitemapEntry entry;
};

// Builds children from the flat list: an item's children are the following items deeper
// than it, up to the next item at its depth or shallower.
std::vector<SitemapEntry> buildTree(std::vector<FlatEntry>& flat, std::size_t& index, int depth) {
    std::vector<SitemapEntry> level;
    while (index < flat.size() && flat[index].depth >= depth) {
        FlatEntry& current = flat[index++];
        SitemapEntry entry = std::move(current.entry);
        if (index < flat.size() && flat[index].depth > current.depth)
            entry.children = buildTree(flat, index, flat[index].depth);
        level.push_back(std::move(entry));
    }
    return level;
}

} // namespace

std::string Sitemap::property(std::string_view name) const {
    for (const auto& p : properties)
        if (iequals(p.name, name))
            return p.value;
    return {};
}

std::string decodeEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out.push_back(text[i++]);
            continue;
        }
        const auto semi = text.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out.push_back(text[i++]);
            continue;
        }
        const auto name = text.substr(i + 1, semi - i - 1);
        std::string replacement;
        if (name == "amp")
            replacement = "&";
        else if (name == "lt")
            replacement = "<";
        else if (name == "gt")
            replacement = ">";
        else if (name == "quot")
            replacement = "\"";
        else if (name == "apos")
            replacement = "'";
        else if (name == "nbsp")
            replacement = " ";
        else if (name.size() >= 2 && name[0] == '#') {
            auto number = name.substr(1);
            std::optional<std::uint32_t> value;
            if (!number.empty() && (number[0] == 'x' || number[0] == 'X'))
                value = detail::parseNumber("0" + std::string(number));
            else if (number.find_first_not_of("0123456789") == std::string_view::npos)
                value = detail::parseNumber(number);
            // Only ASCII: anything else has no single right spelling in an 8-bit code page.
            if (value && *value > 0 && *value < 0x80)
                replacement = std::string(1, static_cast<char>(*value));
        }
        if (replacement.empty()) {
            out.push_back(text[i++]);
            continue;
        }
        out += replacement;
        i = semi + 1;
    }
    return out;
}

Sitemap parseSitemap(std::string_view text, const std::string& fileName, Diagnostics& diagnostics) {
    Sitemap sitemap;
    std::vector<FlatEntry> flat;
    int depth = 0;
    bool warnedDepth = false;

    enum class ObjectKind { None, Item, Properties, Other };
    ObjectKind object = ObjectKind::None;
    SitemapEntry current;
    std::vector<SitemapParam> currentProperties;

    auto finishObject = [&]() {
        if (object == ObjectKind::Item) {
            for (const auto& p : current.params) {
                if (iequals(p.name, "Name")) {
                    if (current.name.empty() && current.targets.empty())
                        current.name = p.value;
                    current.targets.push_back({p.value, {}});
                } else if (iequals(p.name, "Local")) {
                    if (current.local.empty())
                        current.local = p.value;
                    if (current.targets.empty() || !current.targets.back().local.empty())
                        current.targets.push_back({current.name, p.value});
                    else
                        current.targets.back().local = p.value;
                } else if (iequals(p.name, "URL")) {
                    if (current.url.empty())
                        current.url = p.value;
                } else if (iequals(p.name, "See Also")) {
                    current.seeAlso = p.value;
                }
            }
            // Pairs without a page are only further names of the item, not targets.
            std::erase_if(current.targets, [](const SitemapTarget& t) { return t.local.empty(); });
            flat.push_back({std::min(depth, kMaxDepth), std::move(current)});
        } else if (object == ObjectKind::Properties) {
            for (auto& p : currentProperties)
                sitemap.properties.push_back(std::move(p));
        }
        current = SitemapEntry{};
        currentProperties.clear();
        object = ObjectKind::None;
    };

    detail::scanTags(text, [&](const detail::Tag& tag) {
        if (iequals(tag.name, "ul")) {
            if (++depth > kMaxDepth && !warnedDepth) {
                warnedDepth = true;
                diagnostics.warn(fileName, tag.line, Problem::SitemapTooDeep);
            }
        } else if (iequals(tag.name, "/ul")) {
            if (depth > 0)
                --depth;
        } else if (iequals(tag.name, "object")) {
            if (object != ObjectKind::None) {
                diagnostics.warn(fileName, tag.line, Problem::ObjectInsideObject);
                finishObject();
            }
            const std::string type = tag.attribute("type");
            if (iequals(type, "text/sitemap")) {
                object = ObjectKind::Item;
                current.line = tag.line;
            } else if (iequals(type, "text/site properties")) {
                object = ObjectKind::Properties;
            } else {
                object = ObjectKind::Other;
            }
        } else if (iequals(tag.name, "/object")) {
            finishObject();
        } else if (iequals(tag.name, "param")) {
            SitemapParam param{decodeEntities(tag.attribute("name")),
                               decodeEntities(tag.attribute("value"))};
            if (object == ObjectKind::Item)
                current.params.push_back(std::move(param));
            else if (object == ObjectKind::Properties)
                currentProperties.push_back(std::move(param));
        }
    });
    if (object != ObjectKind::None) {
        diagnostics.warn(fileName, current.line, Problem::ObjectNotClosed);
        finishObject();
    }

    // Depths are relative: the outermost list of real files is often depth 1 or 2.
    std::size_t index = 0;
    while (index < flat.size()) {
        auto level = buildTree(flat, index, flat[index].depth);
        for (auto& e : level)
            sitemap.entries.push_back(std::move(e));
    }
    return sitemap;
}

} // namespace hhp
