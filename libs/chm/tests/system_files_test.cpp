// The assembled system files: which files, #SYSTEM's records, and how the contents and index
// shape the topic table.
#include "chm/system_files.h"
#include "chm/system_tables.h"
#include "system_test_bytes.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace chm {
namespace {

using test::readU16;
using test::readU32;

using Files = std::map<std::string, std::vector<std::uint8_t>>;

Files compressedByName(const SystemFiles& s) {
    Files out;
    for (const NamedFile& f : s.compressed)
        out[f.name] = f.data;
    return out;
}

// One member of every element, in order.
template <typename T, typename Member> auto each(const std::vector<T>& list, Member T::*member) {
    std::vector<Member> out;
    for (const T& item : list)
        out.push_back(item.*member);
    return out;
}

struct Record {
    std::uint16_t code;
    std::vector<std::uint8_t> data;
};

std::vector<Record> systemRecords(const SystemFiles& s) {
    const auto& b = s.uncompressed.at(0).data;
    std::vector<Record> out;
    for (std::size_t at = 4; at < b.size();) {
        const std::uint16_t code = readU16(b, at);
        const std::uint16_t size = readU16(b, at + 2);
        out.push_back({code,
                       {b.begin() + static_cast<std::ptrdiff_t>(at + 4),
                        b.begin() + static_cast<std::ptrdiff_t>(at + 4 + size)}});
        at += 4 + size;
    }
    return out;
}

std::string text(const std::vector<std::uint8_t>& d) {
    return std::string(d.begin(), d.end() - 1);
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

TEST(SystemFiles, WithoutWindowTheSystemFileNamesContentsAndIndex) {
    std::vector<SystemWarning> warnings;
    const SystemFiles s = buildSystemFiles(sample(), warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].kind, SystemWarning::Kind::ContentsTargetMissing);
    EXPECT_EQ(warnings[0].subject, "Lost");
    EXPECT_EQ(warnings[0].target, "gone.htm");

    EXPECT_EQ(each(s.uncompressed, &NamedFile::name), std::vector<std::string>{"/#SYSTEM"});
    EXPECT_EQ(each(s.compressed, &NamedFile::name),
              (std::vector<std::string>{"/$WWKeywordLinks/Property",
                                        "/$WWAssociativeLinks/Property", "/$OBJINST", "/#IDXHDR",
                                        "/#TOPICS", "/#URLTBL", "/#URLSTR", "/#STRINGS"}));
    const auto records = systemRecords(s);
    EXPECT_EQ(readU32(s.uncompressed[0].data, 0), 3u);
    EXPECT_EQ(each(records, &Record::code),
              (std::vector<std::uint16_t>{10, 9, 4, 2, 3, 6, 0, 1, 12, 13, 15}));
    EXPECT_EQ(text(records[1].data), "CHM Quorlin hhc 1.1");
    EXPECT_EQ(records[2].data.size(), 36u);
    EXPECT_EQ(readU32(records[2].data, 0), 0x409u);
    EXPECT_EQ(readU32(records[2].data, 8), 0u);  // no search
    EXPECT_EQ(readU32(records[2].data, 12), 0u); // no binary index
    EXPECT_EQ(text(records[3].data), "index.htm");
    EXPECT_EQ(text(records[5].data), "sample");
    EXPECT_EQ(text(records[6].data), "toc.hhc");
    EXPECT_EQ(text(records[7].data), "idx.hhk");
    EXPECT_EQ(records[9].data, compressedByName(s).at("/#IDXHDR"));
}

TEST(SystemFiles, ContentsDecideTopicFlagsPositionsAndAnchors) {
    std::vector<SystemWarning> warnings;
    const Files f = compressedByName(buildSystemFiles(sample(), warnings));
    const auto& topics = f.at("/#TOPICS");
    // Stored files, then the anchor the contents add. Breadth first: Start 4096 (has children),
    // Book 4124 (has children), Second 4152, Again 4172, Lost 4192.
    ASSERT_EQ(topics.size(), 5u * 16);
    struct Expect {
        std::uint32_t position;
        const char* title;
        std::uint16_t flags;
        const char* url;
    };
    const Expect expect[] = {{4096, "Welcome", 6, "index.htm"},
                             {4172, "Again", 6, "sub/page2.htm"}, // untitled page: its entry's name
                             {0, nullptr, 2, "toc.hhc"},
                             {0, nullptr, 2, "idx.hhk"},
                             {4152, "Second", 4, "sub/page2.htm#part"}};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(readU32(topics, i * 16), expect[i].position);
        const std::uint32_t title = readU32(topics, i * 16 + 4);
        if (expect[i].title == nullptr)
            EXPECT_EQ(title, 0xFFFFFFFFu);
        else
            EXPECT_EQ(stringAt(f, title), expect[i].title);
        EXPECT_EQ(readU16(topics, i * 16 + 12), expect[i].flags);
        const std::uint32_t urlRecord = readU32(topics, i * 16 + 8);
        EXPECT_EQ(readU32(f.at("/#URLTBL"), urlRecord + 4), i);
        const std::uint32_t urlString = readU32(f.at("/#URLTBL"), urlRecord + 8);
        EXPECT_STREQ(reinterpret_cast<const char*>(f.at("/#URLSTR").data()) + urlString + 8,
                     expect[i].url);
    }
    // Strings in contents order; the heading's name is there for a binary contents file.
    EXPECT_EQ(stringAt(f, 1), "Welcome");
    EXPECT_EQ(stringAt(f, 9), "Book");
    EXPECT_EQ(readU32(f.at("/#IDXHDR"), 0x0C), 5u);
}

TEST(SystemFiles, DefaultWindowReplacesTheFileNames) {
    HelpFileInfo info = sample();
    info.defaultWindow = "main";
    info.windows.push_back({});
    info.windows[0].name = "Main";
    info.windows[0].contentsFile = "toc.hhc";
    info.compatibility10 = true;
    std::vector<SystemWarning> warnings;
    SystemFiles s = buildSystemFiles(info, warnings);
    auto records = systemRecords(s);
    // The window gives the contents but not the index, so only the index is named.
    EXPECT_EQ(each(records, &Record::code),
              (std::vector<std::uint16_t>{10, 9, 4, 2, 3, 6, 5, 1, 12, 13, 15}));
    EXPECT_EQ(readU32(s.uncompressed[0].data, 0), 2u);
    EXPECT_EQ(s.compressed.front().name, "/#WINDOWS");
    EXPECT_EQ(readU32(s.compressed.front().data, 4), 188u);

    info.defaultWindow = "nowhere";
    warnings.clear();
    s = buildSystemFiles(info, warnings);
    EXPECT_EQ(each(systemRecords(s), &Record::code),
              (std::vector<std::uint16_t>{10, 9, 4, 2, 3, 6, 5, 0, 1, 12, 13, 15}));
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

    const auto records = systemRecords(s);
    EXPECT_EQ(each(records, &Record::code),
              (std::vector<std::uint16_t>{10, 9, 4, 2, 3, 16, 6, 0, 1, 7, 12, 13, 15}));
    EXPECT_EQ(readU32(records[0].data, 0), 1'000'000'000u);
    const auto& language = records[2].data;
    EXPECT_EQ(readU32(language, 8), 1u);  // search
    EXPECT_EQ(readU32(language, 12), 1u); // keyword links
    EXPECT_EQ(readU32(language, 16), 1u); // associative links
    const std::uint64_t fileTime =
        readU32(language, 20) | static_cast<std::uint64_t>(readU32(language, 24)) << 32;
    EXPECT_EQ(fileTime, 126'444'736'000'000'000u);
    EXPECT_EQ(readU32(records[9].data, 0), urlHash("idx.hhk"));

    const Files f = compressedByName(s);
    EXPECT_EQ(each(s.compressed, &NamedFile::name).at(0), "/#IVB");
    for (const char* name : {"/$WWKeywordLinks/BTree", "/$WWKeywordLinks/Data",
                             "/$WWKeywordLinks/Map", "/$WWAssociativeLinks/BTree"})
        EXPECT_TRUE(f.contains(name)) << name;
    EXPECT_EQ(f.at("/$WWKeywordLinks/Property").size(), 32u);

    // "Alpha" and "alpha" merge, sorted before "zeta"; the index's anchor becomes topic 4,
    // titled by its entry and flagged as neither a file nor in the contents.
    const auto& tree = f.at("/$WWKeywordLinks/BTree");
    EXPECT_EQ(readU32(tree, 0x2C), 2u);
    std::size_t at = 0x4C + 12;
    EXPECT_EQ(readU16(tree, at), u'A');
    at += 12 + 12;                    // "Alpha\0", see-also, depth, 2 DWORDs
    EXPECT_EQ(readU32(tree, at), 2u); // index.htm once, page2
    EXPECT_EQ(readU32(tree, at + 4), 0u);
    EXPECT_EQ(readU32(tree, at + 8), 1u);
    at += 12 + 8;
    EXPECT_EQ(readU16(tree, at), u'z');
    EXPECT_EQ(readU32(tree, at + 10 + 12 + 4), 4u); // the anchor's topic
    const auto& topics = f.at("/#TOPICS");
    ASSERT_EQ(topics.size(), 5u * 16);
    EXPECT_EQ(stringAt(f, readU32(topics, 4 * 16 + 4)), "Zeta part");
    EXPECT_EQ(readU16(topics, 4 * 16 + 12), 0);
}

} // namespace
} // namespace chm
