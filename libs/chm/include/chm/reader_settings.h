// The help file's settings as the compiler stored them: #SYSTEM (title, default topic,
// language, ...) and the window definitions of #WINDOWS with their texts from #STRINGS.
// Strings stay in the help file's 8-bit code page; callers decode them for display.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace chm {

struct SystemSettings {
    std::uint32_t version = 0; // 3 = "1.1 or later", 2 = "1.0"
    std::string contentsFile;  // code 0
    std::string indexFile;     // code 1
    std::string defaultTopic;  // code 2
    std::string title;         // code 3
    std::optional<std::uint32_t> lcid;
    bool fullTextSearch = false;
    bool keywordLinks = false;
    bool associativeLinks = false;
    std::string defaultWindow; // code 5
    std::string compiledFile;  // code 6: lower-cased stem of the compiled file
    std::string compilerVersion;
    std::string defaultFont; // code 16
    bool binaryToc = false;  // code 11 present
};

struct WindowSettings {
    std::string name;
    std::string caption;
    std::string toc;
    std::string index;
    std::string defaultFile;
    std::string home;
    std::string jump1Url, jump1Text, jump2Url, jump2Text;
    std::uint32_t validMembers = 0;
    std::uint32_t properties = 0;
    std::uint32_t styles = 0;
    std::uint32_t exStyles = 0;
    std::int32_t rect[4] = {0, 0, 0, 0};
    std::uint32_t showState = 0;
    std::uint32_t navWidth = 0;
    std::uint32_t toolbarFlags = 0;
    std::uint32_t notExpanded = 0;
    std::uint32_t currentTab = 0;
    std::uint32_t tabPosition = 0;
    std::uint32_t notifyId = 0;
};

// Records that run past the end of the data, and unknown codes, are skipped with a warning.
SystemSettings parseSystem(std::span<const std::uint8_t> data, std::vector<std::string>& warnings);

// Offsets into #STRINGS that point outside it, or at a string without a terminator inside it,
// give an empty string and a warning.
std::vector<WindowSettings> parseWindows(std::span<const std::uint8_t> windows,
                                         std::span<const std::uint8_t> strings,
                                         std::vector<std::string>& warnings);

} // namespace chm
