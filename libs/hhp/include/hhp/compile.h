// The compile pipeline: from a project file to the .chm it names.
#pragma once

#include "hhp/diagnostics.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace hhp {

struct CompileOptions {
    unsigned threads = 0; // compression threads; 0 = all cores
    // Seconds since 1970 to stamp into the help file. Without it no clock reaches the output,
    // so the same inputs give the same bytes.
    std::optional<std::int64_t> timestamp;
};

struct CompileResult {
    bool ok = false;
    std::string outputPath;   // the .chm written (or that would have been written)
    std::string errorLogFile; // the project's "Error log file", resolved; empty when not set
    bool displayNotes = true; // the project's "Display compile notes"
    std::size_t fileCount = 0;
    std::size_t topicCount = 0;
    std::uint64_t bytesIn = 0;  // bytes of every stored file, internal files excluded
    std::uint64_t bytesOut = 0; // size of the .chm
};

// The steps of a compile, for a progress display. The comment names the arguments.
enum class Step {
    ReadingFiles,        // -
    FollowingLinks,      // -
    BuildingSearchIndex, // -
    BuildingSystemFiles, // -
    Compressing,         // -
    WordsNotIndexed,     // count, code page: words longer than 99 bytes or not in the code page
    Writing,             // the .chm's path
};

// Reports one step of the compile; called only when the project asks for progress
// ("Display compile progress").
using ProgressSink = std::function<void(Step step, const std::vector<std::string>& args)>;

// Compiles the project at projectPath (relative to the current folder or absolute). The .chm
// is written to a temporary file beside its final place and renamed over it only when
// complete: a failed compile leaves an earlier .chm untouched. Never throws.
CompileResult compile(const std::string& projectPath, const CompileOptions& options,
                      Diagnostics& diagnostics, const ProgressSink& progress = {});

} // namespace hhp
