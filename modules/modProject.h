// The help-project routines: path helpers, page titles, the project, contents and index
// writers and the project reader, with the program's three globals. No widgets here: page
// lists are plain lists of names, and every file goes through the host layer.
#pragma once

#include "platform/path_style.h"

#include <optional>
#include <string>
#include <vector>

namespace modProject {

struct ProjectInfo {
    std::string ProjectFile;  // full path of the project file
    std::string ContentsFile; // option values as written in the project
    std::string IndexFile;
    std::string CompiledFile;
};

// The program's folder, ending in the host's separator; set once at start-up.
inline std::string AppFolder;
inline ProjectInfo CurrentProject;
// 1: write contents and index; 2: write them and compile. Empty until the first build command.
inline std::optional<int> BuildAction;

// Fixed names.
inline constexpr const char* kTextTemplate = "chm_dll0.dll";
inline constexpr const char* kAboutTemplate = "chm_dll1.dll";
inline constexpr const char* kAboutPage = "chm_about.htm";
inline constexpr const char* kProjectFileName = "chm_hhp.hhp";
inline constexpr const char* kContactAddress = "quorlin@example.com";
// The title a build gives a help file when the title box is empty.
std::string defaultTitle();

// Full path of name in folder. Leading "..\" levels are resolved against folder and removed
// from the caller's name (it comes back without them); in the POSIX style "../" counts as well,
// mixed with "..\" as it may be. A name with a drive letter (Windows) or a leading "/" (POSIX)
// comes back unchanged. Climbing above the folder's root stops at the root.
std::string ResolvePath(std::string folder, std::string& name,
                        host::PathStyle style = host::kHostPathStyle);

// The folder part of path, ending in the separator. A bare name, and the empty path, give the
// separator alone.
std::string ParentFolder(const std::string& path, host::PathStyle style = host::kHostPathStyle);

// The caption of a page: the text of its <title>, or its file name as stored on disk. A page
// that does not exist is reported to the user, and the result is empty.
std::string PageTitle(const std::string& path);

// Copies the about page into folder and writes the project file there. folder comes back with
// a trailing separator, title with the default title when it was empty. False, after telling
// the user, when the about page cannot be copied. Throws host::HostError when the text template
// is missing or short, or the project file cannot be written.
bool WriteProject(std::string& folder, const std::vector<std::string>& pages, std::string& title,
                  const std::string& startPage);

// Write the contents and the index file of the project in folder (which ends in a separator).
// name comes back without the leading "..\" levels that were resolved. Throws host::HostError
// when the template is missing or short or the file cannot be written; the template is read
// first, so an existing file is never emptied by a bad template.
void WriteContents(std::string& name, const std::vector<std::string>& pages,
                   const std::string& folder);
void WriteIndex(std::string& name, const std::vector<std::string>& pages,
                const std::string& folder);

// Appends the project's [FILES] entries to list. False when the project cannot be handled: an
// entry that climbs out of the folder (".."), or a file that cannot be read, is empty, has no
// [FILES] line or ends at it.
bool ReadProjectFiles(const std::string& path, std::vector<std::string>& list);

// Takes the contents, index and compiled file names from the project's option lines into
// info; the compiled file only from lines before the first section or in [OPTIONS]. Throws
// host::HostError when the file cannot be read or is empty.
void ReadProjectOptions(const std::string& path, ProjectInfo& info);

} // namespace modProject
