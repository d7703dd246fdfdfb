// Sitemap reader. Files in the wild skip quotes, mix case, leave lists open and put stray text
// between tags, so only <UL>, </UL>, <OBJECT>, <PARAM> and </OBJECT> are followed, and the
// tree is built from the depth of list at which each item stands.
#include "chm/reader_sitemap.h"

#include "text/ascii.h"
#include "text/html_tags.h"
#include "text/references.h"

#include <algorithm>

namespace chm {

namespace {

using text::equalsIgnoreCase;

// Deeper lists than this are kept at this depth: a viewer's tree would not show them usefully,
// and recursion over the tree stays bounded.
constexpr int kMaxDepth = 64;

struct FlatItem {
    int depth;
    SitemapItem item;
};

// An item's children are the items after it that stand deeper, up to the next item at its
// depth or shallower. Depths are relative: real files start at 1 or 2.
std::vector<SitemapItem> buildTree(std::vector<FlatItem>& flat, std::size_t& index, int depth) {
    std::vector<SitemapItem> level;
    while (index < flat.size() && flat[index].depth >= depth) {
        FlatItem& current = flat[index++];
        SitemapItem item = std::move(current.item);
        if (index < flat.size() && flat[index].depth > current.depth)
            item.children = buildTree(flat, index, flat[index].depth);
        level.push_back(std::move(item));
    }
    return level;
}

// Gives an item its name, page and topics from its parameters, in the order written.
void applyParam(SitemapItem& item, const SitemapParam& p) {
    if (equalsIgnoreCase(p.name, "Name")) {
        if (item.name.empty() && item.topics.empty())
            item.name = p.value;
        item.topics.push_back({p.value, {}});
    } else if (equalsIgnoreCase(p.name, "Local")) {
        if (item.local.empty())
            item.local = p.value;
        if (item.topics.empty() || !item.topics.back().local.empty())
            item.topics.push_back({item.name, p.value});
        else
            item.topics.back().local = p.value;
    } else if (equalsIgnoreCase(p.name, "URL")) {
        if (item.url.empty())
            item.url = p.value;
    } else if (equalsIgnoreCase(p.name, "See Also")) {
        item.seeAlso = p.value;
    }
}

} // namespace

std::string Sitemap::property(std::string_view name) const {
    for (const SitemapParam& p : properties)
        if (equalsIgnoreCase(p.name, name))
            return p.value;
    return {};
}

Sitemap parseSitemap(std::string_view text, SitemapText encoding, const SitemapProblems& problems) {
    const bool utf8 = encoding == SitemapText::Utf8;
    auto report = [&](SitemapProblem problem, int line) {
        if (problems)
            problems(problem, line);
    };
    Sitemap sitemap;
    std::vector<FlatItem> flat;
    int depth = 0;
    bool warnedDepth = false;
    enum class Object { None, Item, Properties, Other } object = Object::None;
    SitemapItem current;

    auto finishObject = [&] {
        if (object == Object::Item) {
            // Pairs without a page are only further names of the item.
            std::erase_if(current.topics, [](const SitemapTopic& t) { return t.local.empty(); });
            flat.push_back({std::min(depth, kMaxDepth), std::move(current)});
        }
        current = SitemapItem{};
        object = Object::None;
    };

    text::scanTags(text, [&](const text::HtmlTag& tag) {
        if (equalsIgnoreCase(tag.name, "ul")) {
            if (++depth > kMaxDepth && !warnedDepth) {
                warnedDepth = true;
                report(SitemapProblem::TooDeep, tag.line);
            }
        } else if (equalsIgnoreCase(tag.name, "/ul")) {
            depth = std::max(depth - 1, 0);
        } else if (equalsIgnoreCase(tag.name, "object")) {
            if (object != Object::None) {
                report(SitemapProblem::ObjectInsideObject, tag.line);
                finishObject();
            }
            const std::string type = tag.attribute("type");
            current.line = tag.line;
            if (equalsIgnoreCase(type, "text/sitemap")) {
                object = Object::Item;
            } else if (equalsIgnoreCase(type, "text/site properties")) {
                object = Object::Properties;
            } else {
                object = Object::Other;
            }
        } else if (equalsIgnoreCase(tag.name, "/object")) {
            finishObject();
        } else if (equalsIgnoreCase(tag.name, "param") && object != Object::Other &&
                   object != Object::None) {
            SitemapParam param{text::decodeReferences(tag.attribute("name"), utf8),
                               text::decodeReferences(tag.attribute("value"), utf8)};
            if (object == Object::Item)
                applyParam(current, param);
            else
                sitemap.properties.push_back(std::move(param));
        }
    });
    if (object != Object::None) {
        report(SitemapProblem::ObjectNotClosed, current.line);
        finishObject();
    }

    std::size_t index = 0;
    while (index < flat.size())
        for (SitemapItem& item : buildTree(flat, index, flat[index].depth))
            sitemap.items.push_back(std::move(item));
    return sitemap;
}

} // namespace chm
