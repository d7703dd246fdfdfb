// Unpacking a compiled help file with the viewer tool, as a plain routine behind the decompile
// dialog.
#pragma once

#include <string>

namespace modProject {

// Runs "hh.exe -decompile" on helpFile (looked up in outputFolder when relative) and waits for
// it; the sources go to the sub-folder of outputFolder named after the file less ".chm".
// Returns that folder in full. A run is judged by the files it leaves: when the tool wrote
// nothing there, or cannot start, or the folder or file is unusable, host::HostError says why.
// outputFolder stays the current folder afterwards.
std::string DecompileHelpFile(const std::string& helpFile, const std::string& outputFolder);

} // namespace modProject
