// The help project (.hhp): an INI-style text naming the pages to compile, the options of the
// compiled file, its window types and the context-help tables.
#pragma once

#include "hhp/diagnostics.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hhp {

// One window type from [WINDOWS]. Numeric fields left empty in the project stay unset.
struct WindowDefinition {
    std::string name;
    std::string caption;
    std::string contentsFile;
    std::string indexFile;
    std::string defaultFile;
    std::string homeFile;
    std::string jump1Url;
    std::string jump1Text;
    std::string jump2Url;
    std::string jump2Text;
    std::optional<std::uint32_t> navigationStyle;
    std::optional<std::int32_t> navigationWidth;
    std::optional<std::uint32_t> buttons;
    std::optional<std::array<std::int32_t, 4>> position;
    std::optional<std::uint32_t> styles;
    std::optional<std::uint32_t> extendedStyles;
    std::optional<std::int32_t> showState;
    std::optional<std::int32_t> navigationClosed;
    std::optional<std::int32_t> defaultTab;
    std::optional<std::int32_t> tabPosition;
    std::optional<std::int32_t> notifyId;
    int line = 0;
};

// A name from the project together with the line that gave it, for later warnings.
struct ProjectName {
    std::string name;
    int line = 0;
};

struct AliasEntry {
    std::string id;   // IDH_NAME
    std::string file; // topic file
    std::string sourceFile;
    int line = 0;
};

struct MapEntry {
    std::string id;
    std::uint32_t number = 0;
    std::string sourceFile;
    int line = 0;
};

struct CustomTab {
    std::string name;
    std::string file;
};

struct Project {
    std::string fileName; // the project file as it was given, for messages

    // [OPTIONS]
    bool compatibility10 = false; // "Compatibility=1.0"
    std::string compiledFile;     // empty: the project's own name with ".chm"
    std::string contentsFile;
    std::string indexFile;
    std::string defaultTopic;
    std::string defaultWindow;
    std::string title;
    std::string defaultFont;
    std::string errorLogFile;
    std::string stopListFile;
    std::uint32_t lcid = 0x409;
    bool languageGiven = false;
    bool fullTextSearch = false;
    bool binaryToc = false;
    bool binaryIndex = true;
    bool autoIndex = false;
    bool createChi = false;
    bool displayProgress = true;
    bool displayNotes = true;
    bool enhancedDecompilation = false;
    bool flat = false;
    bool dbcs = false;
    std::vector<CustomTab> customTabs;

    std::vector<WindowDefinition> windows;
    std::vector<ProjectName> files;
    std::vector<AliasEntry> aliases;
    std::vector<MapEntry> map;
    std::vector<ProjectName> textPopups;
    std::vector<ProjectName> mergeFiles;
    std::vector<ProjectName> infoTypes;

    const WindowDefinition* findWindow(std::string_view name) const;
};

// Reads a file named by an #include line (relative to the project's folder); nullopt when it
// cannot be read.
using IncludeReader = std::function<std::optional<std::string>(const std::string& name)>;

// Parses a project's text. Never fails: what cannot be understood is warned about with file
// and line, and the rest is kept. `includes` may be empty, then #include lines are warned about.
Project parseProject(std::string_view text, const std::string& fileName,
                     const IncludeReader& includes, Diagnostics& diagnostics);

// Parses one [WINDOWS] line value (everything after "name="). Exposed for tests.
WindowDefinition parseWindowDefinition(std::string_view name, std::string_view value,
                                       const std::string& fileName, int line,
                                       Diagnostics& diagnostics);

} // namespace hhp
