// The title a page gives itself, used for its topic entry.
#include "hhp/link_scan.h"
#include "text/ascii.h"
#include "text/references.h"

#include <algorithm>

namespace hhp {

std::string pageTitle(std::string_view html) {
    std::size_t pos = 0;
    while (true) {
        pos = html.find('<', pos);
        if (pos == std::string_view::npos)
            return {};
        if (text::startsWithIgnoreCase(html.substr(pos + 1), "title") && pos + 6 < html.size() &&
            (html[pos + 6] == '>' || text::isAsciiSpace(html[pos + 6])))
            break;
        ++pos;
    }
    const auto open = html.find('>', pos);
    if (open == std::string_view::npos)
        return {};
    std::size_t close = open + 1;
    while (close < html.size()) {
        close = html.find('<', close);
        if (close == std::string_view::npos) {
            close = html.size();
            break;
        }
        if (text::startsWithIgnoreCase(html.substr(close), "</title"))
            break;
        ++close;
    }
    const auto raw = html.substr(open + 1, std::min(close, html.size()) - open - 1);
    std::string collapsed;
    bool blank = false;
    for (char c : text::trimAscii(raw)) {
        if (text::isAsciiSpace(c)) {
            blank = true;
            continue;
        }
        if (blank)
            collapsed.push_back(' ');
        blank = false;
        collapsed.push_back(c);
    }
    return text::decodeReferences(collapsed, false);
}

} // namespace hhp
