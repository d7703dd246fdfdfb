// The build behind the main window's two build commands, as plain routines: the window reads
// its controls, calls these with what they hold, and shows what comes back.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace modProject {

// HTML mode's first step: picks the start page of folder (its first "index.htm*" page, else the
// first listed page that is not the about page), writes the project there from pages and title,
// and makes it the current project. Returns the project's [FILES] entries; nothing when the
// project writer refused (it has told the user). Throws host::HostError when a file fails.
std::optional<std::vector<std::string>>
GenerateProject(std::string folder, const std::vector<std::string>& pages, std::string title);

struct BuildRequest {
    bool askBeforeRewriting = false; // HHP mode: the contents and index are the user's own
    bool compile = false;
    std::string questionTitle; // the questions carry the main window's caption
    std::function<void(const std::string&)> showStatus;
};

// The rest of the build, on the current project and its pages: copies the about page, reads
// the project's options, writes the contents and index files and, to compile, runs the
// compiler, then the viewer on what it wrote, and deletes the intermediate files when the user
// agrees. True when they were deleted (the current project is then empty). A compile that
// leaves no new compiled file is reported with the compiler's output, and nothing is deleted.
// Throws host::HostError when a step fails.
bool BuildProject(const std::vector<std::string>& pages, const BuildRequest& request);

} // namespace modProject
