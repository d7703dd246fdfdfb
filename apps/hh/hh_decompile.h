// hh.exe -decompile: runs the decompiler and prints what it did.
#pragma once

#include "chm/reader_decompile.h"

#include <iosfwd>
#include <string>

namespace hh {

// The sentence for a decompile warning, without the "hh.exe: " lead.
std::string decompileWarningText(const chm::DecompileWarning& warning);

// Exit codes: 0 done (possibly with names skipped for safety), 1 not a readable help file,
// 2 some files could not be extracted or written.
int runDecompile(const std::string& folder, const std::string& file, std::ostream& out,
                 std::ostream& err, const chm::DecompileLimits& limits = {});

} // namespace hh
