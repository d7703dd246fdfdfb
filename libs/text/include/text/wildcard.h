// File-name patterns with '*' and '?', matched as Windows matches them.
#pragma once

#include <string_view>

namespace text {

// Case-insensitive (ASCII) match of a bare name against a pattern of '*' and '?'. A pattern
// with a wildcard whose extension has three characters also matches longer extensions that
// begin with them, as short 8.3 names make it on Windows ("*.htm" lists "a.html"); a name
// without wildcards matches only itself, letter case aside.
bool matchesPattern(std::string_view name, std::string_view pattern);

} // namespace text
