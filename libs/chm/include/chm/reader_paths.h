// Turning names stored in a help file into paths inside an output folder. A stored name is
// untrusted: it may climb out with "..", be absolute, carry a drive letter or hold a NUL.
#pragma once

#include <string>
#include <string_view>

namespace chm {

// Compiler-made files ("/#SYSTEM", "/$FIftiMain", "::DataSpace/...") rather than sources.
bool isInternalName(std::string_view stored);

struct SafeName {
    bool ok = false;
    std::string relative; // "/"-separated, no empty, "." or ".." components
    std::string reason;   // why the name was refused
};

// Splits on "/" and "\", drops "." and empty components, and refuses names that are empty,
// absolute (beyond the single leading "/" every stored name has), carry a drive letter or
// a ":" stream, climb with "..", hold a NUL, or name a folder.
SafeName safeRelativeName(std::string_view stored);

// A stored name with control characters and NULs shown as \xNN, for warnings.
std::string printableName(std::string_view stored);

} // namespace chm
