// Reading hh.exe's argument line. Callers pass the whole line as one text (or several
// arguments that we join with blanks), so blanks in names are resolved here.
#pragma once

#include <functional>
#include <string>

namespace hh {

struct Command {
    enum class Kind { View, Decompile, Help, Usage } kind = Kind::Usage;
    std::string file;   // the help file; empty for View: an empty viewer
    std::string page;   // page inside it for "ms-its:FILE::/page", without the leading "/"
    std::string folder; // decompile output folder
    std::string error;  // why the line could not be read, for Usage
};

// `exists` tells whether a name is an existing file (injected so tests need no disk).
Command parseCommandLine(const std::string& line,
                         const std::function<bool(const std::string&)>& exists);

// Splits "FILE.chm::/page.htm", with or without an "ms-its:" or "mk:@MSITStore:" prefix.
void splitHelpUrl(const std::string& text, std::string& file, std::string& page);

} // namespace hh
