// Reads a help project (.hhp). The format is forgiving INI: sections in brackets, key=value
// options, one name per line elsewhere, ';' comments. Real projects carry options nobody
// documents fully, so unknown keys are warned about and skipped, never fatal.
#include "hhp/project.h"

#include "text_util.h"

#include <algorithm>

namespace hhp {

using text::equalsIgnoreCase;

namespace {

// #include files may include further files. Depth alone does not bound the work (a file that
// includes another twice at every level doubles it per level), so the total is capped too,
// and a file is never included while it is already being read.
constexpr int kMaxIncludeDepth = 8;
constexpr int kMaxIncludes = 256;

enum class Section {
    None,
    Options,
    Windows,
    Files,
    Alias,
    Map,
    TextPopups,
    InfoTypes,
    MergeFiles,
    Subsets,
    Unknown
};

Section sectionFor(std::string_view name) {
    struct Entry {
        std::string_view name;
        Section section;
    };
    static constexpr Entry kSections[] = {
        {"OPTIONS", Section::Options},
        {"WINDOWS", Section::Windows},
        {"FILES", Section::Files},
        {"ALIAS", Section::Alias},
        {"MAP", Section::Map},
        {"TEXT POPUPS", Section::TextPopups},
        {"INFOTYPES", Section::InfoTypes},
        {"MERGE FILES", Section::MergeFiles},
        {"SUBSETS", Section::Subsets},
    };
    for (const auto& entry : kSections)
        if (equalsIgnoreCase(entry.name, name))
            return entry.section;
    return Section::Unknown;
}

// The [OPTIONS] keys that set a text or a yes/no flag of the project, and those that are
// known but left alone. A flag that is not honoured is warned about when it is switched on.
struct TextOption {
    std::string_view key;
    std::string Project::*field;
};
constexpr TextOption kTextOptions[] = {
    {"Compiled file", &Project::compiledFile},
    {"Contents file", &Project::contentsFile},
    {"Index file", &Project::indexFile},
    {"Default topic", &Project::defaultTopic},
    {"Default Window", &Project::defaultWindow},
    {"Title", &Project::title},
    {"Default Font", &Project::defaultFont},
    {"Error log file", &Project::errorLogFile},
    {"Full text search stop list file", &Project::stopListFile},
};

struct FlagOption {
    std::string_view key;
    bool Project::*field;
    bool honoured;
};
constexpr FlagOption kFlagOptions[] = {
    {"Full-text search", &Project::fullTextSearch, true},
    {"Binary TOC", &Project::binaryToc, false},
    {"Binary Index", &Project::binaryIndex, true},
    {"Auto Index", &Project::autoIndex, false},
    {"Create CHI file", &Project::createChi, false},
    {"Display compile progress", &Project::displayProgress, true},
    {"Display compile notes", &Project::displayNotes, true},
    {"Enhanced decompilation", &Project::enhancedDecompilation, false},
    {"Flat", &Project::flat, false},
    {"DBCS", &Project::dbcs, false},
};

constexpr std::string_view kIgnoredOptions[] = {
    "Auto TOC", "Sample Staging Path", "Sample list file", "CITATION",
    "COMPRESS", "COPYRIGHT",           "IGNORE",           "PREFIX",
    "TMPDIR"};

struct Parser {
    Project& project;
    const IncludeReader& includes;
    Diagnostics& diagnostics;
    int includeCount = 0;
    std::vector<std::string> includeStack;

    std::optional<bool> yesNo(std::string_view value, const std::string& file, int line,
                              std::string_view key) {
        value = text::trimAscii(value);
        if (equalsIgnoreCase(value, "yes") || value == "1" || equalsIgnoreCase(value, "true"))
            return true;
        if (equalsIgnoreCase(value, "no") || value == "0" || equalsIgnoreCase(value, "false"))
            return false;
        diagnostics.warn(file, line, Problem::OptionNotYesNo,
                         {std::string(key), std::string(value)});
        return std::nullopt;
    }

    void notHonoured(const std::string& file, int line, std::string_view key) {
        diagnostics.warn(file, line, Problem::OptionIgnored, {std::string(key)});
    }

    void option(std::string_view key, std::string_view value, const std::string& file, int line);
    void aliasLine(std::string_view text, const std::string& file, int line, int depth);
    void mapLine(std::string_view text, const std::string& file, int line, int depth,
                 bool& inComment);
    void includeFile(std::string_view name, const std::string& file, int line, int depth,
                     bool isMap);
};

void Parser::option(std::string_view key, std::string_view value, const std::string& file,
                    int line) {
    const std::string v(text::trimAscii(value));
    for (const TextOption& o : kTextOptions) {
        if (equalsIgnoreCase(key, o.key)) {
            project.*o.field = v;
            return;
        }
    }
    for (const FlagOption& o : kFlagOptions) {
        if (!equalsIgnoreCase(key, o.key))
            continue;
        bool& flag = project.*o.field;
        if (auto b = yesNo(v, file, line, key))
            flag = *b;
        if (flag && !o.honoured)
            notHonoured(file, line, key);
        return;
    }
    for (const std::string_view ignored : kIgnoredOptions) {
        if (equalsIgnoreCase(key, ignored)) {
            if (!v.empty())
                notHonoured(file, line, key);
            return;
        }
    }

    if (equalsIgnoreCase(key, "Compatibility")) {
        project.compatibility10 = (v == "1.0");
    } else if (equalsIgnoreCase(key, "Language")) {
        // "0x804 Chinese (PRC)": the number, then descriptive text.
        std::string_view number = v;
        if (auto blank = number.find_first_of(" \t"); blank != std::string_view::npos)
            number = number.substr(0, blank);
        auto lcid = detail::parseNumber(number);
        if (!lcid || *lcid == 0 || *lcid > 0xFFFF) {
            diagnostics.warn(file, line, Problem::LanguageWithoutNumber, {v});
        } else {
            project.lcid = *lcid;
            project.languageGiven = true;
        }
    } else if (equalsIgnoreCase(key, "Custom tab")) {
        // "name",path
        CustomTab tab;
        std::string_view rest = v;
        if (!rest.empty() && rest.front() == '"') {
            auto close = rest.find('"', 1);
            if (close != std::string_view::npos) {
                tab.name = std::string(rest.substr(1, close - 1));
                rest = rest.substr(close + 1);
            }
        }
        if (auto comma = rest.find(','); comma != std::string_view::npos)
            tab.file = std::string(text::trimAscii(rest.substr(comma + 1)));
        project.customTabs.push_back(std::move(tab));
        notHonoured(file, line, key);
    } else {
        diagnostics.warn(file, line, Problem::UnknownOption, {std::string(key)});
    }
}

void Parser::includeFile(std::string_view name, const std::string& file, int line, int depth,
                         bool isMap) {
    std::string target(text::trimAscii(name));
    if (target.size() >= 2 && (target.front() == '"' || target.front() == '<'))
        target = target.substr(1, target.size() - 2);
    if (depth >= kMaxIncludeDepth) {
        diagnostics.warn(file, line, Problem::IncludeTooDeep, {target});
        return;
    }
    if (std::find_if(includeStack.begin(), includeStack.end(), [&](const std::string& open) {
            return equalsIgnoreCase(open, target);
        }) != includeStack.end()) {
        diagnostics.warn(file, line, Problem::IncludeOfItself, {target});
        return;
    }
    if (++includeCount > kMaxIncludes) {
        if (includeCount == kMaxIncludes + 1)
            diagnostics.warn(file, line, Problem::TooManyIncludes);
        return;
    }
    std::optional<std::string> text;
    if (includes)
        text = includes(target);
    if (!text) {
        diagnostics.warn(file, line, Problem::IncludeUnreadable, {target});
        return;
    }
    bool inComment = false;
    includeStack.push_back(target);
    const auto lines = detail::splitLines(*text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int lineNumber = static_cast<int>(i) + 1;
        if (isMap)
            mapLine(lines[i], target, lineNumber, depth + 1, inComment);
        else
            aliasLine(lines[i], target, lineNumber, depth + 1);
    }
    includeStack.pop_back();
}

void Parser::aliasLine(std::string_view text, const std::string& file, int line, int depth) {
    text = text::trimAscii(text);
    if (text.empty() || text.front() == ';' || text.starts_with("//"))
        return;
    if (text::startsWithIgnoreCase(text, "#include")) {
        includeFile(text.substr(8), file, line, depth, false);
        return;
    }
    auto eq = text.find('=');
    if (eq == std::string_view::npos) {
        diagnostics.warn(file, line, Problem::AliasWithoutEquals);
        return;
    }
    AliasEntry entry{std::string(text::trimAscii(text.substr(0, eq))),
                     std::string(text::trimAscii(text.substr(eq + 1))), file, line};
    if (entry.id.empty() || entry.file.empty()) {
        diagnostics.warn(file, line, Problem::AliasIncomplete);
        return;
    }
    project.aliases.push_back(std::move(entry));
}

void Parser::mapLine(std::string_view text, const std::string& file, int line, int depth,
                     bool& inComment) {
    // Map files are C headers: drop /* */ and // comments before looking at the line.
    std::string clean;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (inComment) {
            if (text.substr(i, 2) == "*/") {
                inComment = false;
                ++i;
            }
            continue;
        }
        if (text.substr(i, 2) == "/*") {
            inComment = true;
            ++i;
            continue;
        }
        if (text.substr(i, 2) == "//")
            break;
        clean.push_back(text[i]);
    }
    std::string_view rest = text::trimAscii(clean);
    if (rest.empty() || rest.front() == ';')
        return;
    if (text::startsWithIgnoreCase(rest, "#include")) {
        includeFile(rest.substr(8), file, line, depth, true);
        return;
    }
    if (text::startsWithIgnoreCase(rest, "#define"))
        rest = text::trimAscii(rest.substr(7));
    else if (rest.front() == '#')
        return; // #ifndef guards and the like
    std::string_view id;
    std::string_view number;
    if (auto eq = rest.find('='); eq != std::string_view::npos) {
        id = text::trimAscii(rest.substr(0, eq));
        number = text::trimAscii(rest.substr(eq + 1));
    } else if (auto blank = rest.find_first_of(" \t"); blank != std::string_view::npos) {
        id = rest.substr(0, blank);
        number = text::trimAscii(rest.substr(blank + 1));
    }
    // "(100)" and "100L" appear in generated headers.
    if (number.size() >= 2 && number.front() == '(' && number.back() == ')')
        number = text::trimAscii(number.substr(1, number.size() - 2));
    if (!number.empty() && (number.back() == 'L' || number.back() == 'l' || number.back() == 'u' ||
                            number.back() == 'U'))
        number.remove_suffix(1);
    auto value = detail::parseNumber(number);
    if (id.empty() || !value) {
        diagnostics.warn(file, line, Problem::MapLineMalformed);
        return;
    }
    project.map.push_back({std::string(id), *value, file, line});
}

std::vector<std::string_view> splitWindowFields(std::string_view value) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    bool quoted = false;
    int bracket = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '[')
            ++bracket;
        else if (!quoted && c == ']' && bracket > 0)
            --bracket;
        else if (!quoted && bracket == 0 && c == ',') {
            fields.push_back(value.substr(start, i - start));
            start = i + 1;
        }
    }
    fields.push_back(value.substr(start));
    return fields;
}

std::string unquote(std::string_view field) {
    field = text::trimAscii(field);
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
        field = field.substr(1, field.size() - 2);
    else if (!field.empty() && field.front() == '"')
        field.remove_prefix(1);
    return std::string(field);
}

} // namespace

bool Diagnostics::hasErrors() const {
    return count(Severity::Error) > 0;
}

std::size_t Diagnostics::count(Severity severity) const {
    return static_cast<std::size_t>(
        std::count_if(m_items.begin(), m_items.end(),
                      [&](const Diagnostic& d) { return d.severity == severity; }));
}

const WindowDefinition* Project::findWindow(std::string_view name) const {
    for (const auto& window : windows)
        if (equalsIgnoreCase(window.name, name))
            return &window;
    return nullptr;
}

WindowDefinition parseWindowDefinition(std::string_view name, std::string_view value,
                                       const std::string& fileName, int line,
                                       Diagnostics& diagnostics) {
    WindowDefinition window;
    window.name = std::string(text::trimAscii(name));
    window.line = line;
    const auto fields = splitWindowFields(value);
    auto text = [&](std::size_t index) {
        return index < fields.size() ? unquote(fields[index]) : std::string();
    };
    window.caption = text(0);
    window.contentsFile = text(1);
    window.indexFile = text(2);
    window.defaultFile = text(3);
    window.homeFile = text(4);
    window.jump1Url = text(5);
    window.jump1Text = text(6);
    window.jump2Url = text(7);
    window.jump2Text = text(8);

    auto number = [&](std::size_t index, auto& target) {
        if (index >= fields.size())
            return;
        const auto field = text::trimAscii(fields[index]);
        if (field.empty())
            return;
        if (auto v = detail::parseNumber(field))
            target =
                static_cast<typename std::remove_reference_t<decltype(target)>::value_type>(*v);
        else
            diagnostics.warn(fileName, line, Problem::WindowFieldNotNumber,
                             {window.name, std::to_string(index), std::string(field)});
    };
    number(9, window.navigationStyle);
    number(10, window.navigationWidth);
    number(11, window.buttons);
    if (fields.size() > 12) {
        auto rect = text::trimAscii(fields[12]);
        if (!rect.empty()) {
            if (rect.front() == '[')
                rect.remove_prefix(1);
            if (!rect.empty() && rect.back() == ']')
                rect.remove_suffix(1);
            std::array<std::int32_t, 4> pos{};
            std::size_t count = 0;
            bool ok = true;
            for (auto part : splitWindowFields(rect)) {
                auto v = detail::parseNumber(part);
                if (!v || count >= 4) {
                    ok = false;
                    break;
                }
                pos[count++] = static_cast<std::int32_t>(*v);
            }
            if (ok && count == 4)
                window.position = pos;
            else
                diagnostics.warn(fileName, line, Problem::WindowPositionMalformed, {window.name});
        }
    }
    number(13, window.styles);
    number(14, window.extendedStyles);
    number(15, window.showState);
    number(16, window.navigationClosed);
    number(17, window.defaultTab);
    number(18, window.tabPosition);
    number(19, window.notifyId);
    if (fields.size() > 20)
        diagnostics.warn(fileName, line, Problem::WindowTooManyFields, {window.name});
    return window;
}

Project parseProject(std::string_view text, const std::string& fileName,
                     const IncludeReader& includes, Diagnostics& diagnostics) {
    Project project;
    project.fileName = fileName;
    Parser parser{project, includes, diagnostics, 0, {}};

    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);

    Section section = Section::None;
    bool mapComment = false;
    const auto lines = detail::splitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int lineNumber = static_cast<int>(i) + 1;
        const std::string_view line = text::trimAscii(lines[i]);
        if (line.empty())
            continue;
        if (line.front() == '[' && line.back() == ']') {
            const auto name = text::trimAscii(line.substr(1, line.size() - 2));
            section = sectionFor(name);
            mapComment = false;
            if (section == Section::Unknown)
                diagnostics.warn(fileName, lineNumber, Problem::UnknownSection,
                                 {std::string(name)});
            else if (section == Section::Subsets)
                diagnostics.warn(fileName, lineNumber, Problem::SubsetsIgnored);
            continue;
        }
        if (line.front() == ';' && section != Section::Map)
            continue;
        switch (section) {
        case Section::None:
            diagnostics.warn(fileName, lineNumber, Problem::LineOutsideSection);
            break;
        case Section::Options: {
            auto eq = line.find('=');
            if (eq == std::string_view::npos) {
                diagnostics.warn(fileName, lineNumber, Problem::OptionWithoutEquals);
                break;
            }
            parser.option(text::trimAscii(line.substr(0, eq)), line.substr(eq + 1), fileName,
                          lineNumber);
            break;
        }
        case Section::Windows: {
            auto eq = line.find('=');
            if (eq == std::string_view::npos || text::trimAscii(line.substr(0, eq)).empty()) {
                diagnostics.warn(fileName, lineNumber, Problem::WindowWithoutName);
                break;
            }
            auto window = parseWindowDefinition(line.substr(0, eq), line.substr(eq + 1), fileName,
                                                lineNumber, diagnostics);
            if (project.findWindow(window.name))
                diagnostics.warn(fileName, lineNumber, Problem::WindowDefinedTwice, {window.name});
            else
                project.windows.push_back(std::move(window));
            break;
        }
        case Section::Files:
            project.files.push_back({std::string(line), lineNumber});
            break;
        case Section::Alias:
            parser.aliasLine(line, fileName, lineNumber, 0);
            break;
        case Section::Map:
            parser.mapLine(line, fileName, lineNumber, 0, mapComment);
            break;
        case Section::TextPopups:
            project.textPopups.push_back({std::string(line), lineNumber});
            break;
        case Section::InfoTypes:
            project.infoTypes.push_back({std::string(line), lineNumber});
            break;
        case Section::MergeFiles:
            project.mergeFiles.push_back({std::string(line), lineNumber});
            break;
        case Section::Subsets:
        case Section::Unknown:
            break;
        }
    }
    if (!project.infoTypes.empty())
        diagnostics.warn(fileName, project.infoTypes.front().line, Problem::InfoTypesIgnored);
    return project;
}

} // namespace hhp
