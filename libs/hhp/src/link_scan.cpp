// Link scan over pages and style sheets. It errs on the side of finding too much: whatever it
// returns is only stored when it names a file that exists beside the page.
#include "hhp/link_scan.h"

#include "text/html_tags.h"
#include "text/references.h"
#include "text_util.h"

#include <unordered_set>

namespace hhp {

using text::equalsIgnoreCase;

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct Collector {
    std::vector<std::string> links;
    std::unordered_set<std::string> seen;

    void add(std::string_view reference) {
        std::string local = localReference(reference);
        if (!local.empty() && seen.insert(local).second)
            links.push_back(std::move(local));
    }
};

void scanCss(std::string_view css, Collector& out) {
    std::size_t pos = 0;
    while (pos < css.size()) {
        const auto url = css.find("url(", pos);
        const auto import = css.find("@import", pos);
        if (url == std::string_view::npos && import == std::string_view::npos)
            break;
        if (url < import) {
            std::size_t i = url + 4;
            while (i < css.size() && text::isAsciiSpace(css[i]))
                ++i;
            char quote = 0;
            if (i < css.size() && (css[i] == '"' || css[i] == '\''))
                quote = css[i++];
            std::size_t end = i;
            while (end < css.size() && css[end] != '\n' &&
                   (quote ? css[end] != quote : css[end] != ')'))
                ++end;
            out.add(text::trimAscii(css.substr(i, end - i)));
            pos = end;
        } else {
            std::size_t i = import + 7;
            while (i < css.size() && text::isAsciiSpace(css[i]))
                ++i;
            if (i < css.size() && (css[i] == '"' || css[i] == '\'')) {
                const char quote = css[i++];
                std::size_t end = i;
                while (end < css.size() && css[end] != quote && css[end] != '\n')
                    ++end;
                out.add(css.substr(i, end - i));
                pos = end;
            } else {
                pos = i; // "@import url(...)" is found by the url( branch
            }
        }
    }
}

} // namespace

std::string localReference(std::string_view reference) {
    std::string decoded = text::decodeReferences(text::trimAscii(reference), false);
    std::string_view ref = decoded;
    if (ref.empty() || ref.front() == '#' || ref.starts_with("//") || ref.starts_with("\\\\"))
        return {};
    // A scheme ("http:", "mailto:", "javascript:", "ms-its:") ends in ':' before any separator.
    const auto colon = ref.find(':');
    if (colon != std::string_view::npos &&
        ref.substr(0, colon).find_first_of("/\\?#") == std::string_view::npos)
        return {};
    if (const auto cut = ref.find_first_of("#?"); cut != std::string_view::npos)
        ref = ref.substr(0, cut);
    std::string out;
    for (std::size_t i = 0; i < ref.size(); ++i) {
        if (ref[i] == '%' && i + 2 < ref.size() && hexValue(ref[i + 1]) >= 0 &&
            hexValue(ref[i + 2]) >= 0) {
            const int value = hexValue(ref[i + 1]) * 16 + hexValue(ref[i + 2]);
            if (value == 0)
                return {};
            out.push_back(static_cast<char>(value));
            i += 2;
        } else {
            out.push_back(ref[i]);
        }
    }
    if (out.empty() || out.back() == '/' || out.back() == '\\')
        return {};
    return out;
}

std::vector<std::string> scanHtmlLinks(std::string_view html) {
    Collector out;
    text::scanTags(html, [&](const text::HtmlTag& tag) {
        if (!tag.name.empty() && tag.name[0] == '/')
            return;
        if (equalsIgnoreCase(tag.name, "param")) {
            const std::string name = tag.attribute("name");
            if (equalsIgnoreCase(name, "movie") || equalsIgnoreCase(name, "src") ||
                equalsIgnoreCase(name, "filename") || equalsIgnoreCase(name, "url") ||
                equalsIgnoreCase(name, "local"))
                out.add(tag.attribute("value"));
            return;
        }
        for (const auto& [key, value] : tag.attributes) {
            if (equalsIgnoreCase(key, "src") || equalsIgnoreCase(key, "href") ||
                equalsIgnoreCase(key, "background") || equalsIgnoreCase(key, "data") ||
                equalsIgnoreCase(key, "codebase") || equalsIgnoreCase(key, "lowsrc"))
                out.add(value);
            else if (equalsIgnoreCase(key, "style"))
                scanCss(value, out);
        }
    });
    // Style blocks: scanning the whole page for url( finds them without tracking <style>;
    // text that merely looks like a reference is dropped later unless such a file exists.
    scanCss(html, out);
    return std::move(out.links);
}

std::vector<std::string> scanCssLinks(std::string_view css) {
    Collector out;
    scanCss(css, out);
    return std::move(out.links);
}

} // namespace hhp
