// The building blocks behind buildSystemFiles, public so that each table can be checked on its
// own: the URL hash, the string pool and the topic, URL and keyword tables.
#pragma once

#include "chm/system_files.h"
#include "chm/system_format.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace chm {

// The hash under which #URLTBL sorts a URL: "/" counts as "\", letters are folded to upper
// case, and each byte adds (byte - '0') after multiplying by 43, with '_' counting as 0x0F.
std::uint32_t urlHash(std::string_view url);

// #STRINGS: NUL-terminated strings at byte offsets, each distinct string stored once, offset 0
// the empty string. A string that would cross a block boundary starts in the next block; one
// too long for any block is cut to fit (add() reports that through truncated()).
class StringPool {
public:
    StringPool();
    // Offset of s (stored on first use); 0 for an empty string. s ends at its first NUL.
    std::uint32_t add(std::string_view s);
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    const std::vector<std::string>& truncated() const { return m_truncated; }

private:
    std::vector<std::uint8_t> m_bytes;
    std::unordered_map<std::string, std::uint32_t> m_offsets;
    std::vector<std::string> m_truncated;
};

// A topic as it ends up in #TOPICS, after the contents and index have been matched against the
// stored files.
struct TopicRecord {
    std::string url;                  // as written to #URLSTR
    std::string title;                // empty: none
    bool storedFile = false;          // a file of its own, not a page#anchor target
    std::uint32_t contentsOffset = 0; // position of its contents entry, 0 if not listed
};

struct TopicTables {
    std::vector<std::uint8_t> topics;     // #TOPICS
    std::vector<std::uint8_t> urlTable;   // #URLTBL
    std::vector<std::uint8_t> urlStrings; // #URLSTR
};

// Lays out #URLSTR in topic order, #URLTBL sorted by hash and #TOPICS pointing into both.
// Titles must already be in pool (they are looked up, so adding them here keeps the order the
// caller chose). URLs too long for a block are cut and reported in truncatedUrls.
TopicTables buildTopicTables(const std::vector<TopicRecord>& topics, StringPool& pool,
                             std::vector<std::string>& truncatedUrls);

// #WINDOWS; the strings go into pool in field order.
std::vector<std::uint8_t> buildWindows(const std::vector<WindowDefinition>& windows,
                                       bool compatibility10, StringPool& pool);

// #IVB: the byte length of the pairs, then (context number, #STRINGS offset of the file).
std::vector<std::uint8_t> buildContextIds(const std::vector<ContextId>& ids, StringPool& pool);

// #IDXHDR (4096 bytes), which #SYSTEM repeats.
std::vector<std::uint8_t> buildIndexHeader(const SitemapProperties& properties,
                                           const std::vector<std::string>& mergeFiles,
                                           std::uint32_t topicCount, std::uint32_t stamp,
                                           StringPool& pool);

// The search engine's object settings, keyed to the code page and LCID: the word breaker's
// character table for that code page (Microsoft's own for 1252) and the catalogue settings.
// Code pages iconv does not know get a table for their ASCII half only.
std::vector<std::uint8_t> buildObjectInstance(std::uint32_t codePage, std::uint32_t lcid);

// A keyword as stored in the binary index, after nesting has been flattened.
struct FlatKeyword {
    std::u16string text;                  // second-level entries hold "parent, child"
    std::uint16_t depth = 0;              // 0 top level, 1 second level
    std::uint32_t lastComponentStart = 0; // where the own text starts in text
    std::u16string seeAlso;               // non-empty: a cross reference instead of topics
    std::vector<std::uint32_t> topics;    // topic numbers
};

struct KeywordFiles {
    std::vector<std::uint8_t> btree, data, map, property;
};

// The keyword-link files of one kind (K- or A-links) for keywords in the order they are
// listed. Entries too large for a block lose their last topic references; how many were
// dropped is added to droppedReferences.
KeywordFiles buildKeywordFiles(const std::vector<FlatKeyword>& keywords, std::uint32_t codePage,
                               std::uint32_t lcid, std::size_t& droppedReferences);

// The 4-byte Property file written when a kind of keyword link is absent.
std::vector<std::uint8_t> emptyKeywordProperty();

} // namespace chm
