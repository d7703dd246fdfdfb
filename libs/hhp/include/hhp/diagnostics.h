// Warnings and errors found while reading and compiling a help project. Libraries never print
// and never word a message: they record what went wrong, with the names and values involved,
// and the program that reports it words it in the user's language.
#pragma once

#include <string>
#include <vector>

namespace hhp {

enum class Severity { Warning, Error };

// What went wrong. The comment after each names its arguments, in order.
enum class Problem {
    // The project file
    LineOutsideSection,      // -
    UnknownSection,          // section name
    SubsetsIgnored,          // -
    OptionWithoutEquals,     // -
    UnknownOption,           // key
    OptionIgnored,           // key: an option this compiler does not carry out
    OptionNotYesNo,          // key, value
    LanguageWithoutNumber,   // value
    WindowWithoutName,       // -
    WindowDefinedTwice,      // window
    WindowFieldNotNumber,    // window, field number (9..19), value
    WindowPositionMalformed, // window
    WindowTooManyFields,     // window
    InfoTypesIgnored,        // -
    AliasWithoutEquals,      // -
    AliasIncomplete,         // -
    MapLineMalformed,        // -
    IncludeTooDeep,          // included name
    IncludeOfItself,         // included name
    TooManyIncludes,         // -
    IncludeUnreadable,       // included name
    // Sitemaps
    SitemapTooDeep,     // -
    ObjectInsideObject, // -
    ObjectNotClosed,    // -
    SitemapLineLossy,   // code page
    // Gathering files
    FileNotFound,        // name
    FileOutsideProject,  // name, name stored in the help file
    FileNameCollision,   // name, name stored in the help file
    FileUnreadable,      // name
    FileTooLarge,        // name, limit in MiB
    WildcardInFolder,    // name
    WildcardMatchesNone, // name
    FileNotStorable,     // stored name
    StopListUnreadable,  // name
    // Describing the help file
    TextLossy,              // text, code page
    DefaultWindowUndefined, // window
    AliasWithoutMap,        // alias name
    TopicListedTwice,       // stored name
    ContentsTargetMissing,  // entry text, target
    IndexTargetMissing,     // target
    SettingCut,             // length, limit (bytes)
    AddressCut,             // the first 60 bytes of the address
    TextCut,                // the first 60 bytes of the text
    TooManyMergeFiles,      // limit
    KeywordTopicsDropped,   // count
    WordsNotIndexed,        // count, code page
    // Failures
    ProjectUnreadable,   // -
    OutputFolderMissing, // compiled-file name
    OutputIsFolder,      // compiled-file name
    HelpFileTooLarge,    // -
    OutputNotCreated,    // -
    OutputNotWritten,    // -
    OutputNotReplaced,   // -
    Internal,            // what the exception said
};

struct Diagnostic {
    Severity severity = Severity::Warning;
    std::string file; // as the user would recognise it; empty when no file is involved
    int line = 0;     // 1-based; 0 when the problem is about the file as a whole
    Problem problem = Problem::Internal;
    std::vector<std::string> args;
};

class Diagnostics {
public:
    void warn(std::string file, int line, Problem problem, std::vector<std::string> args = {}) {
        m_items.push_back({Severity::Warning, std::move(file), line, problem, std::move(args)});
    }
    void error(std::string file, int line, Problem problem, std::vector<std::string> args = {}) {
        m_items.push_back({Severity::Error, std::move(file), line, problem, std::move(args)});
    }
    const std::vector<Diagnostic>& items() const { return m_items; }
    bool hasErrors() const;
    std::size_t count(Severity severity) const;

private:
    std::vector<Diagnostic> m_items;
};

} // namespace hhp
