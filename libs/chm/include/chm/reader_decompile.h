// Taking a help file apart into a folder of sources and a project file that compiles them
// back into an equivalent help file.
#pragma once

#include "chm/reader_archive.h"
#include "chm/reader_settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace chm {

struct DecompileLimits {
    // A help file that claims more than this for one page or in total is a bomb, not help.
    std::uint64_t maxFileSize = std::uint64_t{1} << 30;
    std::uint64_t maxTotalSize = std::uint64_t{8} << 30;
};

struct DecompileResult {
    ReadError error = ReadError::Ok; // the help file itself could not be read
    std::string projectFile;         // full path of the project file written, if any
    std::size_t filesWritten = 0;
    std::size_t filesRefused = 0; // unsafe or colliding names, skipped on purpose
    std::size_t filesFailed = 0;  // damaged data or a file that could not be created
    std::uint64_t bytesWritten = 0;
    std::vector<std::string> warnings;
};

// What the project file is rebuilt from.
struct ProjectSource {
    SystemSettings system;
    std::vector<WindowSettings> windows;
    std::vector<std::string> files; // sources in compile order, "/"-separated, no leading "/"
    std::string fallbackName;       // compiled-file stem when #SYSTEM names none
};

struct ProjectText {
    std::string fileName; // "<stem>.hhp"
    std::string text;     // 8-bit, CR LF line ends
};

// Builds the project file: [OPTIONS] (sorted by key), [WINDOWS] and [FILES]. The contents and
// index files are named in [OPTIONS] and left out of [FILES].
ProjectText buildProject(const ProjectSource& source);

// Extracts every source file of `archive` into `folder` (created if missing), in stored order,
// and writes the project file there. Never writes outside `folder`.
DecompileResult decompileArchive(ReaderArchive& archive, const std::string& folder,
                                 const std::string& fallbackName,
                                 const DecompileLimits& limits = {});

DecompileResult decompileFile(const std::string& chmPath, const std::string& folder,
                              const DecompileLimits& limits = {});

} // namespace chm
