// The assembled system files: which files there are, and what the viewer's readers make of
// #SYSTEM, #WINDOWS, #IVB and the topic table. The readers were checked on files from other
// compilers (reader tests), so a writer that disagrees with them fails here.
#include "chm/byte_cursor.h"
#include "chm/reader_decompile.h"
#include "chm/reader_settings.h"
#include "chm/system_files.h"
#include "chm/system_tables.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace chm {
namespace {

using Data = std::vector<std::uint8_t>;
using Files = std::map<std::string, Data>;

Files byName(const SystemFiles& s) {
    Files out;
    for (const auto* list : {&s.uncompressed, &s.compressed})
        for (const NamedFile& f : *list)
            out[f.name] = f.data;
    return out;
}

std::uint32_t u32(const Data& b, std::size_t at) {
    return ByteCursor(b).at(at).u32();
}

// The data of each #SYSTEM record, by code, in file order.
std::vector<std::pair<std::uint16_t, Data>> systemRecords(const Data& b) {
    std::vector<std::pair<std::uint16_t, Data>> out;
    ByteCursor in(b);
    in.skip(4);
    while (in.remaining() > 0 && in.ok()) {
        const std::uint16_t code = in.u16();
        const auto data = in.bytes(in.u16());
        out.push_back({code, Data(data.begin(), data.end())});
    }
    return out;
}

SystemSettings settings(const Files& f) {
    std::vector<std::string> warnings;
    SystemSettings s = parseSystem(f.at("/#SYSTEM"), warnings);
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    return s;
}

std::string stringAt(const Files& f, std::uint32_t offset) {
    return reinterpret_cast<const char*>(f.at("/#STRINGS").data()) + offset;
}

HelpFileInfo sample() {
    HelpFileInfo info;
    info.title = "Sample Help";
    info.defaultTopic = "\\index.htm";
    info.contentsFile = "toc.hhc";
    info.indexFile = "idx.hhk";
    info.compiledFileBase = "Sample";
    info.topics = {
        {"index.htm", "Welcome"}, {"sub\\page2.htm", ""}, {"toc.hhc", ""}, {"idx.hhk", ""}};
    info.contents = {{"Start", "index.htm", {{"Second", "sub/page2.htm#part", {}}}},
                     {"Book", "", {{"Again", "/sub/page2.htm", {}}, {"Lost", "gone.htm", {}}}}};
    return info;
}

TEST(SystemFiles, SettingsReadBackWithoutAWindow) {
    std::vector<SystemWarning> warnings;
    const SystemFiles s = buildSystemFiles(sample(), warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].kind, SystemWarning::Kind::ContentsTargetMissing);
    EXPECT_EQ(warnings[0].subject, "Lost");
    EXPECT_EQ(warnings[0].target, "gone.htm");

    const Files f = byName(s);
    const SystemSettings read = settings(f);
    EXPECT_EQ(read.version, 3u);
    EXPECT_EQ(read.lcid, 0x409u);
    EXPECT_FALSE(read.fullTextSearch || read.keywordLinks || read.associativeLinks);
    EXPECT_EQ(
        (std::vector<std::string>{read.title, read.defaultTopic, read.compiledFile,
                                  read.contentsFile, read.indexFile, read.defaultWindow}),
        (std::vector<std::string>{"Sample Help", "index.htm", "sample", "toc.hhc", "idx.hhk", ""}));
}

TEST(SystemFiles, ContentsDecideTopicFlagsPositionsAndAnchors) {
    std::vector<SystemWarning> warnings;
    const Files f = byName(buildSystemFiles(sample(), warnings));
    const auto& topics = f.at("/#TOPICS");
    // Stored files, then the anchor the contents add. Breadth first: Start 4096 (has children),
    // Book 4124 (has children), Second 4152, Again 4172, Lost 4192.
    ASSERT_EQ(topics.size(), 5u * 16);
    struct Expect {
        std::uint32_t position;
        const char* title; // nullptr: none
        std::uint16_t flags;
    };
    // index.htm, sub/page2.htm (untitled: its entry's name), toc.hhc, idx.hhk, the anchor.
    const Expect expect[] = {{4096, "Welcome", 6},
                             {4172, "Again", 6},
                             {0, nullptr, 2},
                             {0, nullptr, 2},
                             {4152, "Second", 4}};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(u32(topics, i * 16), expect[i].position);
        const std::uint32_t title = u32(topics, i * 16 + 4);
        if (expect[i].title == nullptr)
            EXPECT_EQ(title, 0xFFFFFFFFu);
        else
            EXPECT_EQ(stringAt(f, title), expect[i].title);
        EXPECT_EQ(topics[i * 16 + 12], expect[i].flags);
    }
    // Strings in contents order; the heading's name is there for a binary contents file.
    EXPECT_EQ(stringAt(f, 1), "Welcome");
    EXPECT_EQ(stringAt(f, 9), "Book");
    EXPECT_EQ(u32(f.at("/#IDXHDR"), 0x0C), 5u);
}

// Every field of a window, in both layouts, as the viewer reads them. The context ids are read
// back from the compiler's output in hhc_tool_test.cpp.
TEST(SystemFiles, WindowsReadBack) {
    HelpFileInfo info = sample();
    WindowDefinition w{.name = "Main",
                       .caption = "Help",
                       .contentsFile = "toc.hhc",
                       .indexFile = "", // the window names no index
                       .defaultFile = "a.htm",
                       .homeFile = "b.htm",
                       .jump1Url = "http://x",
                       .jump1Text = "X",
                       .jump2Url = "http://y",
                       .jump2Text = "Y",
                       .navigationStyle = 0x2520,
                       .navPaneWidth = 200,
                       .buttons = 0x387E,
                       .left = 10,
                       .top = -1,
                       .right = 600,
                       .bottom = 400,
                       .windowStyle = 0x10,
                       .extendedStyle = 0x20,
                       .showState = 3,
                       .navPaneInitiallyClosed = 1,
                       .defaultPane = 2,
                       .tabPosition = 1,
                       .notificationId = 77,
                       .validMembers = 0x2532};
    info.windows = {w, w};
    info.windows[1].name = "second";
    info.defaultWindow = "main";
    for (const bool old : {false, true}) {
        SCOPED_TRACE(old ? "1.0 layout" : "1.1 layout");
        info.compatibility10 = old;
        std::vector<SystemWarning> warnings;
        const SystemFiles s = buildSystemFiles(info, warnings);
        EXPECT_EQ(s.compressed.front().name, "/#WINDOWS");
        const Files f = byName(s);
        const SystemSettings read = settings(f);
        EXPECT_EQ(read.version, old ? 2u : 3u);
        EXPECT_EQ(read.defaultWindow, "main");
        // The window gives the contents but not the index, so only the index is named.
        EXPECT_EQ(read.contentsFile, "");
        EXPECT_EQ(read.indexFile, "idx.hhk");

        std::vector<std::string> problems;
        const auto windows = parseWindows(f.at("/#WINDOWS"), f.at("/#STRINGS"), problems);
        EXPECT_TRUE(problems.empty());
        EXPECT_EQ(u32(f.at("/#WINDOWS"), 4), old ? 188u : 196u);
        ASSERT_EQ(windows.size(), 2u);
        EXPECT_EQ(windows[1].name, "second");
        const WindowSettings& r = windows[0];
        EXPECT_EQ(
            std::vector<std::string>({r.name, r.caption, r.toc, r.index, r.defaultFile, r.home,
                                      r.jump1Url, r.jump1Text, r.jump2Url, r.jump2Text}),
            std::vector<std::string>({"Main", "Help", "toc.hhc", "", "a.htm", "b.htm", "http://x",
                                      "X", "http://y", "Y"}));
        EXPECT_EQ(std::vector<std::int64_t>({r.validMembers, r.properties, r.styles, r.exStyles,
                                             r.rect[0], r.rect[1], r.rect[2], r.rect[3],
                                             r.showState, r.navWidth, r.toolbarFlags, r.notExpanded,
                                             r.currentTab, r.tabPosition, r.notifyId}),
                  std::vector<std::int64_t>(
                      {0x2532, 0x2520, 0x10, 0x20, 10, -1, 600, 400, 3, 200, 0x387E, 1, 2, 1, 77}));
    }

    info.defaultWindow = "nowhere";
    std::vector<SystemWarning> warnings;
    const Files f = byName(buildSystemFiles(info, warnings));
    EXPECT_EQ(settings(f).contentsFile, "toc.hhc"); // no window to take it from
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[1].kind, SystemWarning::Kind::DefaultWindowUndefined);
    EXPECT_EQ(warnings[1].subject, "nowhere");
}

TEST(SystemFiles, BinaryIndexSetsFlagsHashAndAnchorTopics) {
    HelpFileInfo info = sample();
    info.contents.clear();
    info.binaryIndex = true;
    info.fullTextSearch = true;
    info.defaultFont = "Tahoma,8,0";
    info.compileTime = 1'000'000'000; // 2001-09-09 01:46:40 UTC
    IndexKeyword second{u"zeta", {{"Zeta part", "sub/page2.htm#z"}}, u"", {}};
    IndexKeyword first{u"Alpha", {{"", "index.htm"}, {"", "nowhere.htm"}}, u"", {}};
    IndexKeyword again{u"alpha", {{"", "sub/page2.htm"}, {"", "index.htm"}}, u"", {}};
    info.keywords = {second, first, again};
    info.associativeKeywords = {{u"topic_a", {{"", "index.htm"}}, u"", {}}};
    info.contextIds = {{100, "index.htm"}};
    std::vector<SystemWarning> warnings;
    const SystemFiles s = buildSystemFiles(info, warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].kind, SystemWarning::Kind::IndexTargetMissing);
    EXPECT_EQ(warnings[0].target, "nowhere.htm");

    const Files f = byName(s);
    const SystemSettings read = settings(f);
    EXPECT_TRUE(read.fullTextSearch && read.keywordLinks && read.associativeLinks);
    EXPECT_EQ(read.defaultFont, "Tahoma,8,0");
    const auto records = systemRecords(f.at("/#SYSTEM"));
    ASSERT_EQ(records[0].first, 10);
    EXPECT_EQ(u32(records[0].second, 0), 1'000'000'000u);
    ASSERT_EQ(records[2].first, 4);
    const std::uint64_t fileTime =
        u32(records[2].second, 20) | std::uint64_t{u32(records[2].second, 24)} << 32;
    EXPECT_EQ(fileTime, 126'444'736'000'000'000u);
    ASSERT_EQ(records[9].first, 7);
    EXPECT_EQ(u32(records[9].second, 0), urlHash("idx.hhk"));

    EXPECT_EQ(s.compressed.at(0).name, "/#IVB");
    for (const char* name : {"/$WWKeywordLinks/BTree", "/$WWKeywordLinks/Data",
                             "/$WWKeywordLinks/Map", "/$WWAssociativeLinks/BTree"})
        EXPECT_TRUE(f.contains(name)) << name;
    // "Alpha" and "alpha" merge; the index's anchor becomes topic 4, titled by its entry and
    // flagged as neither a file nor in the contents.
    const auto& tree = f.at("/$WWKeywordLinks/BTree");
    EXPECT_EQ(u32(tree, 0x2C), 2u);
    // Their targets merge too, index.htm once: after the header, the block's 12 bytes,
    // "Alpha\0", see-also, depth and two DWORDs come the topic count and the topics.
    const std::size_t alphaTopics = 0x4C + 12 + 12 + 12;
    EXPECT_EQ(ByteCursor(tree).at(0x4C + 12).u16(), u'A');
    EXPECT_EQ(u32(tree, alphaTopics), 2u);
    EXPECT_EQ(u32(tree, alphaTopics + 4), 0u);
    EXPECT_EQ(u32(tree, alphaTopics + 8), 1u);
    const auto& topics = f.at("/#TOPICS");
    ASSERT_EQ(topics.size(), 5u * 16);
    EXPECT_EQ(stringAt(f, u32(topics, 4 * 16 + 4)), "Zeta part");
    EXPECT_EQ(topics[4 * 16 + 12], 0);
}

} // namespace
} // namespace chm
