// The full-text index: our writer read back by our reader over many leaves and index levels,
// the query rules, damaged input, and the indexes Microsoft's compiler wrote.
#include "chm/container_writer.h"
#include "chm/reader_archive.h"
#include "chm/search_index.h"
#include "scratch_files.h"
#include "search_test_support.h"

#include <algorithm>
#include <bit>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;

// Deterministic random numbers of 32 bits.
struct Random : std::mt19937 {
    std::uint32_t operator()() { return static_cast<std::uint32_t>(std::mt19937::operator()()); }
};

chm::SearchIndex load(std::vector<std::uint8_t> bytes) {
    chm::SearchIndex index;
    EXPECT_EQ(index.load(std::move(bytes)), chm::SearchError::Ok);
    return index;
}

std::vector<std::uint32_t> find(const chm::SearchIndex& index, std::string_view query) {
    std::vector<std::uint32_t> topics;
    EXPECT_EQ(chm::search(index, query, topics), chm::SearchError::Ok) << query;
    return topics;
}

// Long words defeat the front compression, so a few thousand of them fill enough leaves for
// two levels of index nodes above them.
TEST(SearchIndex, ManyLeavesAndLevelsReadBackExactly) {
    Random random{std::mt19937(8)};
    std::vector<std::u32string> vocabulary;
    for (int i = 0; i < 3000; ++i) {
        std::u32string w;
        const int length = 40 + static_cast<int>(random() % 60);
        for (int k = 0; k < length; ++k)
            w.push_back(static_cast<char32_t>(U'a' + random() % 26));
        vocabulary.push_back(w);
    }
    vocabulary.push_back(U"中"); // a GBK word of two bytes
    chm::TextIndexWriter writer(936, 0x804);
    // expected[word][topic] = locations
    std::map<std::u32string, std::map<std::uint32_t, std::vector<std::uint32_t>>> expected;
    for (std::uint32_t topic = 0; topic < 400; topic += 1 + random() % 3) {
        chm::PageText page;
        const int count = static_cast<int>(random() % 200);
        for (std::uint32_t at = 0; at < static_cast<std::uint32_t>(count); ++at) {
            const auto& w = vocabulary[random() % vocabulary.size()];
            page.body += w + U" ";
            expected[w][topic].push_back(at);
        }
        writer.addPage(topic, page);
    }
    const auto bytes = writer.build();
    EXPECT_EQ(bytes[0x18], 3) << "tree depth";
    const chm::SearchIndex index = load(bytes);
    EXPECT_EQ(index.codePage(), 936u);

    chm::WordEncoder encoder(936);
    std::vector<std::string> wanted;
    for (const auto& [word, byTopic] : expected) {
        std::string encoded;
        ASSERT_TRUE(encoder.encode(word, encoded));
        wanted.push_back(encoded);
    }
    std::vector<std::vector<chm::WordHit>> hits;
    ASSERT_EQ(index.lookup(wanted, hits), chm::SearchError::Ok);
    std::size_t i = 0;
    for (const auto& [word, byTopic] : expected) {
        std::map<std::uint32_t, std::vector<std::uint32_t>> got;
        for (const auto& h : hits[i])
            got[h.topic] = h.locations;
        EXPECT_EQ(got, byTopic) << "word " << i;
        ++i;
    }
    std::vector<std::string> stored;
    ASSERT_EQ(index.words(stored), chm::SearchError::Ok);
    EXPECT_EQ(stored.size(), expected.size());
    EXPECT_TRUE(std::is_sorted(stored.begin(), stored.end()));
}

// Stop words keep their places; whether they are indexed is seen in hhc_tool_test.cpp.
TEST(SearchIndex, TitleFirstStopWordsKeepTheirPlaces) {
    chm::TextIndexWriter writer(1252, 0x409);
    writer.addStopWords("the\r\nAND a\n");
    writer.addPage(3, {U"Alpha Beta", U"gamma the alpha and delta"});
    writer.addPage(3, {U"", U"ignored: topics only ascend"});
    const chm::SearchIndex index = load(writer.build());
    EXPECT_EQ(index.documentCount(), 1u);
    std::vector<std::vector<chm::WordHit>> hits;
    ASSERT_EQ(index.lookup({"alpha", "delta", "ignored"}, hits), chm::SearchError::Ok);
    ASSERT_EQ(hits[0].size(), 1u);
    EXPECT_EQ(hits[0][0].topic, 3u);
    EXPECT_EQ(hits[0][0].locations, (std::vector<std::uint32_t>{0, 4}));
    EXPECT_EQ(hits[1][0].locations, (std::vector<std::uint32_t>{6}));
    EXPECT_TRUE(hits[2].empty());
}

// Microsoft's compiler sometimes codes a step back to an earlier place in a page, as a
// difference modulo 2^32. Our writer never does: the data of a word is replaced by such.
TEST(SearchIndex, ReadsPlacesThatStepBack) {
    chm::TextIndexWriter writer(1252, 0x409);
    writer.addPage(0, {U"", U"zz"});
    std::vector<std::uint8_t> bytes = writer.build();
    // The scale-2 code with root r, bits first to last.
    std::vector<bool> bits;
    const auto code = [&](std::uint32_t value, unsigned root) {
        const auto n = static_cast<unsigned>(std::bit_width(value));
        bits.insert(bits.end(), n > root ? n - root : 0, true);
        bits.push_back(false);
        for (unsigned i = n > root ? n - 1 : root; i-- > 0;)
            bits.push_back((value >> i) & 1u);
    };
    code(0, bytes[0x1F]); // topic 0
    code(2, bytes[0x21]); // two places: 5, then 5 - 3
    code(5, bytes[0x23]);
    code(0xFFFFFFFDu, bytes[0x23]);
    std::vector<std::uint8_t> data((bits.size() + 7) / 8);
    for (std::size_t i = 0; i < bits.size(); ++i)
        data[i / 8] |= static_cast<std::uint8_t>(bits[i] << (7 - i % 8));
    // The leaf entry: length, shared, "zz", context, topic count, data offset, 0, data length.
    const std::string entry("\x03\x00zz\x00\x01", 6);
    const auto at = static_cast<std::size_t>(
        std::search(bytes.begin(), bytes.end(), entry.begin(), entry.end()) - bytes.begin());
    ASSERT_LT(at, bytes.size());
    for (std::size_t i = 0; i < 4; ++i)
        bytes[at + 6 + i] = static_cast<std::uint8_t>(bytes.size() >> (8 * i));
    bytes[at + 12] = static_cast<std::uint8_t>(data.size());
    bytes.insert(bytes.end(), data.begin(), data.end());
    std::vector<std::vector<chm::WordHit>> hits;
    ASSERT_EQ(load(bytes).lookup({"zz"}, hits), chm::SearchError::Ok);
    ASSERT_EQ(hits[0].size(), 1u);
    EXPECT_EQ(hits[0][0].locations, (std::vector<std::uint32_t>{2, 5}));
}

// The words pages hold and an index leaves out are the stop list it was made with, unless
// so many are missing that the index cut words by other rules.
TEST(SearchIndex, MissingWordsAreTheStopList) {
    const std::vector<std::string> pages = {
        "<title>The tools</title><p>A list of the tools and of their uses, with pictures.</p>",
        "<p>Tools: the hammer, the saw and a plane for wood, metal or plastic work</p>"};
    chm::SearchIndexWriter writer(1252, 0x409);
    writer.addStopWords("the\r\nof\r\nAND\r\n");
    chm::PageCutter cutter(1252);
    chm::PageWords words;
    for (std::uint32_t topic = 0; topic < pages.size(); ++topic) {
        cutter.cut(pages[topic], words);
        writer.addPage(topic, words);
    }
    cutter.cut("<p>Add a library</p>", words);
    writer.addPage(2, words);
    const std::vector<std::uint8_t> index = writer.build();
    EXPECT_EQ(chm::missingWords(index, pages), (std::vector<std::string>{"and", "of", "the"}));
    // A word the index holds in pieces was cut by another rule, not stopped.
    EXPECT_EQ(chm::missingWords(index, {pages[0], pages[1], "<p>add_library _library 2.1</p>"}),
              (std::vector<std::string>{"2.1", "and", "of", "the"}));
    EXPECT_TRUE(chm::missingWords(index, {"<p>the of and other words</p>"}).empty());
    EXPECT_TRUE(chm::missingWords({}, pages).empty());
}

TEST(SearchIndex, QueriesNeedEveryTermAndNeighboursWithinATerm) {
    chm::TextIndexWriter writer(936, 0x804);
    writer.addPage(0, {U"", U"使用搜索功能。E-mail me"});
    writer.addPage(1, {U"", U"索搜 mail the e"});
    writer.addPage(2, {U"搜索", U"帮助"});
    const chm::SearchIndex index = load(writer.build());
    EXPECT_EQ(find(index, "搜索"), (std::vector<std::uint32_t>{0, 2}));
    EXPECT_EQ(find(index, "搜 索"), (std::vector<std::uint32_t>{0, 1, 2}));
    // A title word and the first body word stand side by side.
    EXPECT_EQ(find(index, "索帮"), (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(find(index, "e-mail"), (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(find(index, "MAIL  e"), (std::vector<std::uint32_t>{0, 1}));
    EXPECT_TRUE(find(index, "mail nowhere").empty());
    EXPECT_TRUE(find(index, "").empty());
    EXPECT_TRUE(find(index, "ＸＹ").empty()); // no such characters stored
}

// The compiler makes the index while the pages are compressed and stores it after them: the
// help file must be the one it would be with the index stored like any other file, wherever
// the pages end against the compressor's 64 KiB intervals and however many threads compress.
TEST(SearchIndex, IndexMadeDuringCompressionGivesTheSameHelpFile) {
    Random random{std::mt19937(21)};
    auto text = [&](std::size_t size) {
        std::vector<std::uint8_t> bytes(size);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>("abcdefgh <>\n"[random() % 12]);
        return bytes;
    };
    const auto index = text(20000); // stored as it is: any bytes will do
    for (const std::size_t pages :
         {std::size_t{0}, std::size_t{3}, std::size_t{4}, std::size_t{7}}) {
        // Pages of 0x8000 bytes end on an interval boundary after an even number of them.
        std::vector<std::vector<std::uint8_t>> data;
        for (std::size_t i = 0; i < pages; ++i)
            data.push_back(text(i == 6 ? 0x8000 - 1 : 0x8000));
        for (const unsigned threads : {1u, 2u, 3u}) {
            for (const bool emptyIndex : {false, true}) {
                const std::vector<std::uint8_t> stored =
                    emptyIndex ? std::vector<std::uint8_t>{} : index;
                int made = 0;
                auto build = [&](bool lateIndex) {
                    chm::ContainerWriter writer({0x409, 0, threads});
                    for (std::size_t i = 0; i < pages; ++i)
                        EXPECT_EQ(writer.addFile("/page" + std::to_string(i) + ".htm", data[i],
                                                 chm::Section::Compressed),
                                  chm::WriteError::None);
                    if (lateIndex)
                        writer.addLateFile("/$FIftiMain", [&] {
                            ++made;
                            return stored;
                        });
                    else
                        writer.addFile("/$FIftiMain", stored, chm::Section::Compressed);
                    writer.addFile("/#SYSTEM", {1, 2, 3}, chm::Section::Uncompressed);
                    std::vector<std::uint8_t> out;
                    EXPECT_EQ(writer.build(out), chm::WriteError::None);
                    return out;
                };
                EXPECT_TRUE(build(true) == build(false))
                    << pages << " pages, " << threads << " threads, empty " << emptyIndex;
                EXPECT_EQ(made, 1);
            }
        }
    }
}

TEST(SearchIndex, LateFileFailuresAreReportedAndDataIsKept) {
    chm::ContainerWriter writer({0x409, 0, 2});
    std::vector<std::uint8_t> page(0x30000, 'x');
    ASSERT_EQ(writer.takeFile("/a.htm", page, chm::Section::Compressed), chm::WriteError::None);
    EXPECT_TRUE(page.empty());
    // A file that is refused keeps its bytes: the index may still be reading them.
    std::vector<std::uint8_t> again(10, 'y');
    EXPECT_EQ(writer.takeFile("/A.HTM", again, chm::Section::Compressed),
              chm::WriteError::DuplicateName);
    EXPECT_EQ(again.size(), 10u);
    EXPECT_EQ(writer.takeFile("no-slash", again, chm::Section::Compressed),
              chm::WriteError::BadName);
    EXPECT_EQ(again.size(), 10u);

    EXPECT_EQ(writer.addLateFile("/a.htm", [] { return std::vector<std::uint8_t>{}; }),
              chm::WriteError::DuplicateName);
    ASSERT_EQ(writer.addLateFile("/$FIftiMain",
                                 []() -> std::vector<std::uint8_t> { throw std::bad_alloc(); }),
              chm::WriteError::None);
    EXPECT_EQ(writer.addLateFile("/other", [] { return std::vector<std::uint8_t>{}; }),
              chm::WriteError::DuplicateName);
    // Running out of memory while the pages are being compressed on other threads.
    std::vector<std::uint8_t> out;
    EXPECT_EQ(writer.build(out), chm::WriteError::TooLarge);

    chm::ContainerWriter failing({0x409, 0, 2});
    failing.addFile("/a.htm", std::vector<std::uint8_t>(0x30000, 'x'), chm::Section::Compressed);
    failing.addLateFile(
        "/$FIftiMain", []() -> std::vector<std::uint8_t> { throw std::runtime_error("no index"); });
    EXPECT_THROW(failing.build(out), std::runtime_error);
}

TEST(SearchIndex, DamagedIndexesFailWithoutHarm) {
    chm::TextIndexWriter writer(1252, 0x409);
    for (std::uint32_t t = 0; t < 50; ++t)
        writer.addPage(t, {U"", U"word" + std::u32string(1, U'a' + t % 26) + U" common text"});
    const auto good = writer.build();
    chm::SearchIndex empty;
    EXPECT_EQ(empty.load({}), chm::SearchError::NoIndex);
    EXPECT_EQ(empty.load(std::vector<std::uint8_t>(good.begin(), good.begin() + 100)),
              chm::SearchError::Corrupt);
    auto badSignature = good;
    badSignature[2] = 0x29;
    EXPECT_EQ(empty.load(badSignature), chm::SearchError::Corrupt);
    auto otherScale = good;
    otherScale[0x20] = 3; // the place counts in a code readers do not know
    EXPECT_EQ(empty.load(otherScale), chm::SearchError::Unsupported);
    auto rootPastEnd = good;
    rootPastEnd[0x0B] = 0x7F; // root node offset far past the end
    EXPECT_EQ(empty.load(rootPastEnd), chm::SearchError::Corrupt);
}

// Words as Microsoft's word breaker cuts English text: tags and character references are
// blanks, '_' stays inside a word and apostrophes go ("don't" is stored as "dont"). Only words
// of letters alone are compared, and for them this is the plain rule.
void plainScan(const std::string& html, std::uint32_t topic,
               std::map<std::string, std::set<std::uint32_t>>& out) {
    static const std::regex markup("<[^>]*(>|$)|&[^;]{0,6};"), apostrophe("'");
    std::string word;
    for (const char c :
         std::regex_replace(std::regex_replace(html, markup, " "), apostrophe, "") + " ") {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            continue;
        }
        if (!word.empty() && std::all_of(word.begin(), word.end(), [](char w) {
                return std::isalpha(static_cast<unsigned char>(w));
            }))
            out[word].insert(topic);
        word.clear();
    }
}

TEST(SearchIndex, ReadsMicrosoftIndexes) {
    const fs::path folder = chm_test::microsoftFixtures();
    if (folder.empty())
        GTEST_SKIP() << "Microsoft-made help files not found beside the source tree";

    chm::ReaderArchive withIndex;
    ASSERT_EQ(withIndex.openFile((folder / "help2.chm").string()), chm::ReadError::Ok);
    const auto topics = chm::readTopics(withIndex);
    ASSERT_FALSE(topics.empty());
    std::map<std::string, std::set<std::uint32_t>> scanned;
    for (std::uint32_t t = 0; t < topics.size(); ++t) {
        if (!topics[t].url.ends_with(".htm"))
            continue;
        std::vector<std::uint8_t> page;
        ASSERT_EQ(withIndex.read("/" + topics[t].url, page, 1u << 20), chm::ReadError::Ok);
        plainScan(std::string(page.begin(), page.end()), t, scanned);
    }
    ASSERT_GT(scanned.size(), 200u);
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(withIndex.read("/$FIftiMain", bytes, 1u << 24), chm::ReadError::Ok);
    const chm::SearchIndex index = load(bytes);
    for (const auto& [word, where] : scanned) {
        const auto found = find(index, word);
        EXPECT_EQ(std::set<std::uint32_t>(found.begin(), found.end()), where) << word;
    }

    // A file compiled without search has an empty index.
    chm::ReaderArchive withoutIndex;
    ASSERT_EQ(withoutIndex.openFile((folder / "help1.chm").string()), chm::ReadError::Ok);
    std::vector<std::uint32_t> none;
    EXPECT_EQ(chm::search(withoutIndex, "help", none), chm::SearchError::NoIndex);
}

} // namespace
