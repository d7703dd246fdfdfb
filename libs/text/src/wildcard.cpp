// The wildcard matcher: iterative, with one back-track point, so linear in practice and never
// recursive whatever the pattern.
#include "text/wildcard.h"

#include "text/ascii.h"

namespace text {

namespace {

bool wildMatch(std::string_view name, std::string_view pattern) {
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool hasWildcard(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

} // namespace

bool matchesPattern(std::string_view name, std::string_view pattern) {
    if (wildMatch(name, pattern))
        return true;
    if (!hasWildcard(pattern))
        return false; // an exact name is that page only: "intro.htm" never finds "intro.html"
    const auto patternDot = pattern.rfind('.');
    const auto nameDot = name.rfind('.');
    if (patternDot == std::string_view::npos || nameDot == std::string_view::npos)
        return false;
    const auto patternExt = pattern.substr(patternDot + 1);
    const auto nameExt = name.substr(nameDot + 1);
    if (patternExt.size() != 3 || hasWildcard(patternExt) || nameExt.size() <= 3)
        return false;
    return equalsIgnoreCase(nameExt.substr(0, 3), patternExt) &&
           wildMatch(name.substr(0, nameDot), pattern.substr(0, patternDot));
}

} // namespace text
