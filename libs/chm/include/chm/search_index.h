// The full-text index of a help file ($FIftiMain): the writer the compiler feeds page by page,
// and the reader a viewer searches with.
#pragma once

#include "chm/search_words.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace chm {

class ReaderArchive;

struct SearchIndexStats {
    std::uint32_t documents = 0;
    std::uint64_t occurrences = 0; // words indexed, with repeats
    std::uint32_t distinctWords = 0;
    std::uint32_t skippedWords = 0; // too long, or not in the code page
};

// Collects the words of each page and lays out $FIftiMain. Pages are added in increasing
// topic order (topic numbers are #TOPICS records); a word's locations count the page's words
// from 0, the title's first, so a title word is found at the same place as a body word.
class SearchIndexWriter {
public:
    SearchIndexWriter(std::uint32_t codePage, std::uint32_t lcid);
    ~SearchIndexWriter();
    SearchIndexWriter(const SearchIndexWriter&) = delete;
    SearchIndexWriter& operator=(const SearchIndexWriter&) = delete;

    // Words of a stop list (text in UTF-8 or the code page, words separated as on a page);
    // they keep their places in the count but are not stored.
    void addStopWords(std::string_view text);
    bool isStopWord(std::string_view encodedWord) const;

    // Indexes one page. A topic not above the last one added is ignored.
    void addPage(std::uint32_t topic, const PageWords& words);

    std::vector<std::uint8_t> build();
    const SearchIndexStats& stats() const { return m_stats; }

private:
    struct Words;

    std::uint32_t m_codePage;
    std::uint32_t m_lcid;
    WordEncoder m_encoder;
    std::unique_ptr<Words> m_words;
    bool m_anyPage = false;
    std::uint32_t m_lastTopic = 0;
    std::uint64_t m_totalLength = 0;
    SearchIndexStats m_stats;
};

enum class SearchError {
    Ok,
    NoIndex,     // the help file has no (or an empty) full-text index
    Corrupt,     // the index is damaged; nothing was found
    Unsupported, // an encoding of locations this reader does not decode
    ReadFailed,  // the index could not be read from the help file
};

// One topic that holds a word, with the places it is found there.
struct WordHit {
    std::uint32_t topic = 0;
    std::vector<std::uint32_t> locations; // ascending
};

// A parsed $FIftiMain. Lookups walk the leaf chain, so no assumption is made about the order
// another compiler sorted its words in.
class SearchIndex {
public:
    SearchError load(std::vector<std::uint8_t> bytes);
    std::uint32_t codePage() const { return m_codePage; }
    std::uint32_t lcid() const { return m_lcid; }
    std::uint32_t documentCount() const { return m_documents; }

    // Hits for each encoded word (title and body merged, ordered by topic); a word not in the
    // index has none.
    SearchError lookup(const std::vector<std::string>& words,
                       std::vector<std::vector<WordHit>>& hits) const;
    // Every word in the index, in stored order (for checks and dumps).
    SearchError words(std::vector<std::string>& out) const;
    // Calls visit with every word in stored order (one stored for the title and for the body
    // comes twice).
    SearchError visitWords(const std::function<void(std::string_view)>& visit) const;

private:
    template <typename Visit> SearchError forEachEntry(Visit&& visit) const;

    std::vector<std::uint8_t> m_bytes;
    std::uint32_t m_codePage = 0;
    std::uint32_t m_lcid = 0;
    std::uint32_t m_documents = 0;
    std::uint32_t m_firstLeaf = 0;
    std::uint32_t m_nodeSize = 0;
    std::uint8_t m_roots[3] = {};
};

// The stop list an index was made with, as far as `pages` (HTML as stored) show it: the words
// they hold that the index leaves out, encoded as stored and sorted. Empty when the index
// cannot be read or holds no word, and when so many words are missing that its compiler cut
// words by other rules than ours: a stop list made of those would empty the index.
std::vector<std::string> missingWords(std::vector<std::uint8_t> indexBytes,
                                      const std::vector<std::string>& pages);

// Topics whose text holds every word of the query (UTF-8, cut into words as pages are). A run
// of words written without blanks between them ("搜索", "e-mail") must appear in that order,
// side by side. Topic numbers ascend.
SearchError search(ReaderArchive& archive, std::string_view query,
                   std::vector<std::uint32_t>& topics);
SearchError search(const SearchIndex& index, std::string_view query,
                   std::vector<std::uint32_t>& topics);

// A topic that holds some of a query's terms: how many of them, and how often in all.
struct RankedTopic {
    std::uint32_t topic = 0;
    std::uint32_t termsFound = 0;
    std::uint32_t occurrences = 0;
};

// Topics holding any term of the query, those holding more terms first, then those where the
// terms stand more often; ties in topic order.
SearchError rankedSearch(const SearchIndex& index, std::string_view query,
                         std::vector<RankedTopic>& topics);

// A topic as #TOPICS describes it, for listing search results.
struct TopicEntry {
    std::string title; // bytes in the help file's code page; empty when none
    std::string url;   // as stored in #URLSTR
};

// Every topic of the help file, by topic number; empty when the tables are missing.
std::vector<TopicEntry> readTopics(ReaderArchive& archive);

} // namespace chm
