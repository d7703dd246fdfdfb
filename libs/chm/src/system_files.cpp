// Builds the internal files of a help file (first cut: the interface only).
#include "chm/system_files.h"

namespace chm {

SystemFiles buildSystemFiles(const HelpFileInfo& /*info*/, std::vector<std::string>& /*warnings*/) {
    return {};
}

} // namespace chm
