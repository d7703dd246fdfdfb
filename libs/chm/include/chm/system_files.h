// The internal files a help viewer reads besides the pages: #SYSTEM, #WINDOWS, #STRINGS,
// #TOPICS, #URLTBL, #URLSTR, #IDXHDR, #IVB, $OBJINST and the keyword-link files, built as bytes
// from plain data. Nothing here touches the file system or parses project text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace chm {

// Text conventions for everything below: 8-bit strings (titles, captions, file names, URLs)
// are bytes already in the help file's ANSI code page, which the caller picks from the LCID
// and converts to; keyword texts of the binary index are UTF-16. URLs and file names inside the
// help file are written relative to its root with "/" separators and no leading "/"
// ("index.htm", "img/a.htm", "page.htm#anchor"); a "\" or a leading "/" in them is tolerated
// and normalised.

// One line of the project's [WINDOWS] section. Empty strings and zero numbers mean "not
// given"; validMembers says which numeric groups the line supplied (window flag bits, e.g.
// 0x2 properties, 0x10 position, 0x20 navigation width, 0x100 buttons, 0x400 tab position,
// 0x2000 default tab).
struct WindowDefinition {
    std::string name;         // the window type, referred to by "Default Window"
    std::string caption;      // title bar text
    std::string contentsFile; // .hhc shown in the Contents tab
    std::string indexFile;    // .hhk shown in the Index tab
    std::string defaultFile;  // page shown first
    std::string homeFile;     // page of the Home button
    std::string jump1Url;
    std::string jump1Text;
    std::string jump2Url;
    std::string jump2Text;
    std::uint32_t navigationStyle = 0; // navigation pane and window properties (tri-pane 0x20,
                                       // search tab 0x400, ...)
    std::uint32_t navPaneWidth = 0;    // pixels
    std::uint32_t buttons = 0;         // toolbar buttons
    std::int32_t left = 0, top = 0, right = 0, bottom = 0; // window position in pixels
    std::uint32_t windowStyle = 0;
    std::uint32_t extendedStyle = 0;
    std::uint32_t showState = 0;
    std::uint32_t navPaneInitiallyClosed = 0; // 0 or 1
    std::uint32_t defaultPane = 0;            // 0 contents, 1 index, 2 search, 3 favorites
    std::uint32_t tabPosition = 0;            // 0 top, 1 left, 2 bottom
    std::uint32_t notificationId = 0;
    std::uint32_t validMembers = 0;
};

// A file stored in the help file that counts as a topic: every page and the contents and index
// files, in compile order. The order gives the topic numbers.
struct Topic {
    std::string local; // name inside the help file
    std::string title; // the page's title; empty when it has none (the sitemap files)
};

// One item of the contents file, with the items of the list that follows it.
struct ContentsEntry {
    std::string name;  // text shown in the tree
    std::string local; // target URL; empty for a heading without a page
    std::vector<ContentsEntry> children;
};

// One target of an index keyword: a "Name"/"Local" pair.
struct KeywordTarget {
    std::string title; // shown in the topics-found list; used when local is not a stored page
    std::string local;
};

// One keyword of the binary index, with its second-level keywords.
struct IndexKeyword {
    std::u16string text;                // this level's keyword
    std::vector<KeywordTarget> targets; // empty for headings and see-also entries
    std::u16string seeAlso;             // non-empty: a cross reference to this keyword
    std::vector<IndexKeyword> children;
};

// A context number for context-sensitive help: [MAP] gives the number, [ALIAS] the file.
struct ContextId {
    std::uint32_t number = 0;
    std::string file;
};

// The contents file's global properties (its "text/site properties" object). Unset values are
// written as "not set" markers.
struct SitemapProperties {
    std::string imageList;
    bool imageTypeFolder = false;
    std::optional<std::uint32_t> background;
    std::optional<std::uint32_t> foreground;
    std::string font;
    std::optional<std::uint32_t> windowStyles;
    std::optional<std::uint32_t> exWindowStyles;
    std::string frameName;
    std::string windowName;
};

struct HelpFileInfo {
    std::uint32_t lcid = 0x0409;   // "Language"
    std::uint32_t codePage = 1252; // ANSI code page of lcid, written beside it where needed
    bool compatibility10 = false;  // "Compatibility=1.0": older #SYSTEM and #WINDOWS layouts
    std::string title;             // "Title"
    std::string defaultTopic;      // "Default topic"
    std::string contentsFile;      // "Contents file"
    std::string indexFile;         // "Index file"
    std::string defaultWindow;     // "Default Window"
    std::string defaultFont;       // "Default Font", "face,size,charset"
    std::string compiledFileBase;  // file name of the .chm without folder and extension
    bool fullTextSearch = false;   // set only when a search index is stored as well
    bool binaryIndex = false;      // build the keyword-link files from keywords
    std::int64_t compileTime = 0;  // seconds since 1970; 0 writes zero stamps (reproducible)
    std::vector<WindowDefinition> windows;
    std::vector<Topic> topics;
    std::vector<ContentsEntry> contents; // the contents file's tree, for topic flags and order
    SitemapProperties contentsProperties;
    std::vector<IndexKeyword> keywords;            // binary index (K-links), when binaryIndex
    std::vector<IndexKeyword> associativeKeywords; // A-links, when binaryIndex
    std::vector<ContextId> contextIds;
    std::vector<std::string> mergeFiles; // [MERGE FILES]
};

struct NamedFile {
    std::string name; // internal name with its leading "/": "/#SYSTEM"
    std::vector<std::uint8_t> data;
};

// In the order to add them to the container, each list to its own section.
struct SystemFiles {
    std::vector<NamedFile> uncompressed;
    std::vector<NamedFile> compressed;
};

// A problem that still leaves a usable help file. It is handed back as data: the program that
// reports it words it.
struct SystemWarning {
    enum class Kind {
        TopicListedTwice,       // subject: the stored name; the second is no topic
        ContentsTargetMissing,  // subject: the entry's text; target: its page, not stored
        IndexTargetMissing,     // target: a keyword's page, not stored
        SettingCut,             // count: its length; limit: the bytes kept
        AddressCut,             // subject: the address, cut for the URL table
        TextCut,                // subject: the text, cut for #STRINGS; limit: the bytes kept
        TooManyMergeFiles,      // limit: how many are listed
        KeywordTopicsDropped,   // count: topic references left out of over-full keywords
        DefaultWindowUndefined, // subject: the window name
    };
    Kind kind = Kind::SettingCut;
    std::string subject;
    std::string target;
    std::size_t count = 0;
    std::size_t limit = 0;
};

// Builds every internal file for info. Problems that still leave a usable help file (an
// unknown default window, an over-long string, a keyword target that is no topic) are added to
// warnings; nothing fails.
SystemFiles buildSystemFiles(const HelpFileInfo& info, std::vector<SystemWarning>& warnings);

} // namespace chm
