// Taking a help file apart into a folder of sources and a project file that compiles them
// back into an equivalent help file.
#pragma once

#include "chm/reader_archive.h"
#include "chm/reader_settings.h"

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace chm {

struct DecompileLimits {
    // A help file that claims more than this for one page or in total is a bomb, not help.
    std::uint64_t maxFileSize = std::uint64_t{1} << 30;
    std::uint64_t maxTotalSize = std::uint64_t{8} << 30;
};

// Something the decompiler skipped or could not do. The decompiler does not word it: the tool
// that reports it does, in the user's language.
struct DecompileWarning {
    enum class Kind {
        OutputFolderUnusable, // path: the output folder cannot be created
        SettingsUnreadable,   // name: an internal file the project is rebuilt from; error
        NameHasNul,           // name: cut at the NUL
        UnsafeName,           // name; detail: why the name was refused
        CaseCollision,        // name: another file differs from it only in case
        TooLarge,             // name: over the size limits
        FolderBlocked,        // name; path: something that is not a folder stands in the way
        CannotCreateFolder,   // name; path; systemError
        CannotCreate,         // name; path
        WriteFailed,          // name; path
        ReadFailed,           // name; error
        NoSystemFile,         // no #SYSTEM: the project gets default options
        ContextIdsDamaged,    // #IVB is shorter than it claims or names missing strings
        ContextIdSkipped,     // detail: a topic name that cannot be written in a project line
        ProjectUnwritable,    // path: the project file or its context-id header
        ReaderNote,           // detail: a note of the archive or settings reader, already worded
    };
    Kind kind = Kind::ReaderNote;
    std::string name; // the stored name, printable
    std::string path; // a path in the output folder
    ReadError error = ReadError::Ok;
    std::string detail;
    int systemError = 0; // the errno value behind a failed file-system call
};

struct DecompileResult {
    ReadError error = ReadError::Ok; // the help file itself could not be read
    std::string projectFile;         // full path of the project file written, if any
    std::size_t filesWritten = 0;
    std::size_t filesRefused = 0; // unsafe or colliding names, skipped on purpose
    std::size_t filesFailed = 0;  // damaged data or a file that could not be created
    std::size_t contextIds = 0;   // context-help ids written to [ALIAS] and [MAP]
    std::uint64_t bytesWritten = 0;
    std::vector<DecompileWarning> warnings;
};

// A context-help id from #IVB: the number a program asks for and the topic it opens.
struct ContextIdSetting {
    std::uint32_t number = 0;
    std::string file;
};

// #IVB holds the byte length of its pairs, then (number, #STRINGS offset) pairs. Pairs past
// the data, and offsets to missing or unterminated strings, are dropped with one warning.
std::vector<ContextIdSetting> parseContextIds(std::span<const std::uint8_t> ivb,
                                              std::span<const std::uint8_t> strings,
                                              std::vector<DecompileWarning>& warnings);

// What the project file is rebuilt from.
struct ProjectSource {
    SystemSettings system;
    std::vector<WindowSettings> windows;
    std::vector<std::string> files; // sources in compile order, "/"-separated, no leading "/"
    std::vector<ContextIdSetting> contextIds;
    // Words the search index leaves out although the pages hold them, as stored.
    std::vector<std::string> stopWords;
    std::string fallbackName; // compiled-file stem when #SYSTEM names none
    // Lower-cased names already in the output folder, which the project file and the header
    // must not replace.
    std::set<std::string> takenNames;
};

struct ProjectText {
    std::string fileName; // "<stem>.hhp"
    std::string text;     // 8-bit, CR LF line ends
    // The context-id header the project's [MAP] includes; empty when there are no ids.
    std::string headerName;
    std::string headerText;
    // The stop list the project names; empty without stop words.
    std::string stopListName;
    std::string stopListText;
};

// Builds the project file: [OPTIONS] (sorted by key), [WINDOWS], [FILES], and with context
// ids [ALIAS] and a [MAP] that includes a header of #define lines. The help file keeps the
// numbers and topics but not the names a project gave them, so each id is named after its
// number (IDH_100; IDH_100_2 for a second topic of the same number). The contents and index
// files are named in [OPTIONS] and left out of [FILES]. Stop words go to a stop list file, one
// to a line, that the project names.
ProjectText buildProject(const ProjectSource& source);

// Extracts every source file of `archive` into `folder` (created if missing), in stored order,
// and writes the project file there. Never writes outside `folder`.
DecompileResult decompileArchive(ReaderArchive& archive, const std::string& folder,
                                 const std::string& fallbackName,
                                 const DecompileLimits& limits = {});

DecompileResult decompileFile(const std::string& chmPath, const std::string& folder,
                              const DecompileLimits& limits = {});

} // namespace chm
