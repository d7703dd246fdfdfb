// Reads $FIftiMain (layout described beside the writer) and answers queries with it.
//
// Files from Microsoft's compiler differ from ours in ways a reader must accept: the length
// given for a word's location data may run a few bytes past the last topic's data, the roots
// of the location code vary from file to file, and the header counts some fields differently.
// Every offset and count is checked against the bytes held; a damaged index finds nothing.
#include "chm/reader_archive.h"
#include "chm/search_index.h"

#include <algorithm>
#include <map>

namespace chm {

namespace {

constexpr std::size_t kHeaderSize = 0x400;
constexpr std::uint64_t kMaxIndexFile = 256u << 20;
constexpr std::uint64_t kMaxTableFile = 64u << 20;
// Nodes bigger than this are no index of any compiler we know.
constexpr std::uint32_t kMaxNodeSize = 65536;

std::uint32_t getU16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t getU32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

bool readVarint(const std::vector<std::uint8_t>& b, std::size_t& at, std::size_t end,
                std::uint64_t& value) {
    value = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        if (at >= end)
            return false;
        const std::uint8_t byte = b[at++];
        value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0)
            return true;
    }
    return false;
}

class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_bits(size * 8) {}
    bool bit(unsigned& b) {
        if (m_pos >= m_bits)
            return false;
        b = (m_data[m_pos / 8] >> (7 - m_pos % 8)) & 1u;
        ++m_pos;
        return true;
    }
    bool code(unsigned root, std::uint32_t& value) {
        unsigned ones = 0;
        unsigned b = 0;
        while (true) {
            if (!bit(b))
                return false;
            if (b == 0)
                break;
            if (++ones + root > 32)
                return false;
        }
        const unsigned count = ones == 0 ? root : ones + root - 1;
        std::uint64_t v = ones == 0 ? 0 : 1;
        for (unsigned i = 0; i < count; ++i) {
            if (!bit(b))
                return false;
            v = (v << 1) | b;
        }
        if (v > UINT32_MAX)
            return false;
        value = static_cast<std::uint32_t>(v);
        return true;
    }
    void align() { m_pos = (m_pos + 7) / 8 * 8; }
    std::size_t bitsLeft() const { return m_bits - m_pos; }

private:
    const std::uint8_t* m_data;
    std::size_t m_bits;
    std::size_t m_pos = 0;
};

} // namespace

const char* searchErrorText(SearchError error) {
    switch (error) {
    case SearchError::Ok:
        return "no error";
    case SearchError::NoIndex:
        return "the help file has no full-text search index";
    case SearchError::Corrupt:
        return "the full-text search index is damaged";
    case SearchError::Unsupported:
        return "the full-text search index uses an encoding this reader does not know";
    case SearchError::ReadFailed:
        return "the full-text search index cannot be read";
    }
    return "unknown error";
}

SearchError SearchIndex::load(std::vector<std::uint8_t> bytes) {
    m_bytes = std::move(bytes);
    if (m_bytes.size() < kHeaderSize)
        return m_bytes.empty() ? SearchError::NoIndex : SearchError::Corrupt;
    if (m_bytes[0] != 0 || m_bytes[1] != 0 || m_bytes[2] != 0x28 || m_bytes[3] != 0)
        return SearchError::Corrupt;
    for (int i = 0; i < 3; ++i) {
        if (m_bytes[0x1E + static_cast<std::size_t>(2 * i)] != 2)
            return SearchError::Unsupported;
        m_roots[i] = m_bytes[0x1F + static_cast<std::size_t>(2 * i)];
        if (m_roots[i] > 31)
            return SearchError::Unsupported;
    }
    m_documents = getU32(m_bytes, 0x04);
    m_nodeSize = getU32(m_bytes, 0x2E);
    m_codePage = getU32(m_bytes, 0x7A);
    m_lcid = getU32(m_bytes, 0x7E);
    if (m_nodeSize < 16 || m_nodeSize > kMaxNodeSize)
        return SearchError::Corrupt;
    std::uint32_t node = getU32(m_bytes, 0x08);
    const std::uint32_t depth = getU16(m_bytes, 0x18);
    if (depth == 0 || depth > 16)
        return SearchError::Corrupt;
    // Down the leftmost edge to the first leaf.
    for (std::uint32_t level = depth; level > 1; --level) {
        if (static_cast<std::uint64_t>(node) + m_nodeSize > m_bytes.size())
            return SearchError::Corrupt;
        std::size_t at = node + 2;
        const std::size_t length = m_bytes[at];
        at += 2 + (length == 0 ? 0 : length - 1);
        if (length == 0 || at + 4 > node + m_nodeSize)
            return SearchError::Corrupt;
        node = getU32(m_bytes, at);
    }
    if (static_cast<std::uint64_t>(node) + m_nodeSize > m_bytes.size())
        return SearchError::Corrupt;
    m_firstLeaf = node;
    return SearchError::Ok;
}

template <typename Visit> SearchError SearchIndex::forEachEntry(Visit&& visit) const {
    if (m_nodeSize == 0)
        return SearchError::NoIndex;
    std::uint32_t node = m_firstLeaf;
    // Each leaf is visited once; a chain longer than the file could hold is a loop.
    std::size_t budget = m_bytes.size() / m_nodeSize + 1;
    std::string word;
    while (true) {
        if (budget-- == 0 || static_cast<std::uint64_t>(node) + m_nodeSize > m_bytes.size())
            return SearchError::Corrupt;
        const std::uint32_t freeBytes = getU16(m_bytes, node + 6);
        if (freeBytes > m_nodeSize - 8)
            return SearchError::Corrupt;
        const std::size_t end = node + m_nodeSize - freeBytes;
        std::size_t at = node + 8;
        word.clear();
        while (at < end) {
            if (at + 2 > end)
                return SearchError::Corrupt;
            const std::size_t length = m_bytes[at];
            const std::size_t shared = m_bytes[at + 1];
            if (length == 0 || shared > word.size() || at + 2 + length - 1 > end)
                return SearchError::Corrupt;
            word.resize(shared);
            word.append(reinterpret_cast<const char*>(&m_bytes[at + 2]), length - 1);
            at += 2 + length - 1;
            if (at + 1 > end)
                return SearchError::Corrupt;
            const std::uint8_t context = m_bytes[at++];
            std::uint64_t topics = 0, dataLength = 0;
            if (!readVarint(m_bytes, at, end, topics) || at + 6 > end)
                return SearchError::Corrupt;
            const std::uint32_t dataAt = getU32(m_bytes, at);
            at += 6;
            if (!readVarint(m_bytes, at, end, dataLength))
                return SearchError::Corrupt;
            if (dataAt > m_bytes.size() || dataLength > m_bytes.size() - dataAt)
                return SearchError::Corrupt;
            const SearchError e = visit(word, context, topics, dataAt, dataLength);
            if (e != SearchError::Ok)
                return e;
        }
        const std::uint32_t next = getU32(m_bytes, node);
        if (next == 0)
            return SearchError::Ok;
        node = next;
    }
}

SearchError SearchIndex::words(std::vector<std::string>& out) const {
    out.clear();
    return forEachEntry(
        [&](const std::string& word, std::uint8_t, std::uint64_t, std::uint32_t, std::uint64_t) {
            if (out.empty() || out.back() != word)
                out.push_back(word);
            return SearchError::Ok;
        });
}

SearchError SearchIndex::lookup(const std::vector<std::string>& wanted,
                                std::vector<std::vector<WordHit>>& hits) const {
    hits.assign(wanted.size(), {});
    std::map<std::string, std::vector<std::size_t>> slots;
    for (std::size_t i = 0; i < wanted.size(); ++i)
        slots[wanted[i]].push_back(i);
    std::map<std::size_t, std::map<std::uint32_t, std::vector<std::uint32_t>>> found;
    const SearchError e =
        forEachEntry([&](const std::string& word, std::uint8_t, std::uint64_t topics,
                         std::uint32_t dataAt, std::uint64_t dataLength) {
            auto it = slots.find(word);
            if (it == slots.end())
                return SearchError::Ok;
            BitReader bits(m_bytes.data() + dataAt, static_cast<std::size_t>(dataLength));
            auto& byTopic = found[it->second.front()];
            std::uint32_t topic = 0;
            for (std::uint64_t t = 0; t < topics; ++t) {
                std::uint32_t delta = 0, count = 0;
                if (!bits.code(m_roots[0], delta) || !bits.code(m_roots[1], count))
                    return SearchError::Corrupt;
                if (delta > UINT32_MAX - topic || count > bits.bitsLeft())
                    return SearchError::Corrupt;
                topic += delta;
                auto& locations = byTopic[topic];
                std::uint32_t location = 0;
                for (std::uint32_t k = 0; k < count; ++k) {
                    if (!bits.code(m_roots[2], delta) || delta > UINT32_MAX - location)
                        return SearchError::Corrupt;
                    location += delta;
                    locations.push_back(location);
                }
                bits.align();
            }
            return SearchError::Ok;
        });
    if (e != SearchError::Ok)
        return e;
    for (auto& [first, byTopic] : found) {
        std::vector<WordHit> list;
        for (auto& [topic, locations] : byTopic) {
            std::sort(locations.begin(), locations.end());
            list.push_back({topic, std::move(locations)});
        }
        for (std::size_t slot : slots[wanted[first]])
            hits[slot] = list;
    }
    return SearchError::Ok;
}

namespace {

// For each term of the query (blank-separated; the words of one term must stand side by
// side), the topics holding it and how often. `termCount` is set to the number of terms.
SearchError countTermHits(const SearchIndex& index, std::string_view query,
                          std::map<std::uint32_t, RankedTopic>& byTopic, std::size_t& termCount) {
    termCount = 0;
    const std::u32string text = decodeText(query, 65001);
    std::vector<std::vector<std::string>> terms;
    std::vector<std::string> all;
    WordEncoder encoder(index.codePage());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != U' ' && text[end] != U'\t' && text[end] != 0x3000)
            ++end;
        std::vector<std::u32string> words;
        splitWords(std::u32string_view(text).substr(start, end - start), words);
        if (!words.empty()) {
            std::vector<std::string> term;
            std::string bytes;
            bool encodable = true;
            for (const auto& w : words) {
                // A character the index cannot hold: no topic holds this term.
                encodable = encodable && encoder.encode(w, bytes);
                term.push_back(bytes);
            }
            ++termCount;
            if (encodable) {
                all.insert(all.end(), term.begin(), term.end());
                terms.push_back(std::move(term));
            }
        }
        start = end + 1;
    }
    if (terms.empty())
        return SearchError::Ok;
    std::vector<std::vector<WordHit>> hits;
    if (const SearchError e = index.lookup(all, hits); e != SearchError::Ok)
        return e;

    std::size_t slot = 0;
    for (const auto& term : terms) {
        const std::size_t base = slot;
        slot += term.size();
        for (const WordHit& hit : hits[base]) {
            // Every further word must be found in the same topic one place further on.
            bool inTopic = true;
            std::vector<const std::vector<std::uint32_t>*> places;
            for (std::size_t k = 1; k < term.size() && inTopic; ++k) {
                const auto& list = hits[base + k];
                auto it = std::lower_bound(
                    list.begin(), list.end(), hit.topic,
                    [](const WordHit& h, std::uint32_t topic) { return h.topic < topic; });
                inTopic = it != list.end() && it->topic == hit.topic;
                if (inTopic)
                    places.push_back(&it->locations);
            }
            if (!inTopic)
                continue;
            const auto adjacent =
                std::count_if(hit.locations.begin(), hit.locations.end(), [&](std::uint32_t at) {
                    for (std::size_t k = 0; k < places.size(); ++k)
                        if (!std::binary_search(places[k]->begin(), places[k]->end(),
                                                at + static_cast<std::uint32_t>(k + 1)))
                            return false;
                    return true;
                });
            if (adjacent == 0)
                continue;
            RankedTopic& ranked = byTopic[hit.topic];
            ranked.topic = hit.topic;
            ++ranked.termsFound;
            ranked.occurrences += static_cast<std::uint32_t>(adjacent);
        }
    }
    return SearchError::Ok;
}

} // namespace

SearchError search(const SearchIndex& index, std::string_view query,
                   std::vector<std::uint32_t>& topics) {
    topics.clear();
    std::map<std::uint32_t, RankedTopic> byTopic;
    std::size_t termCount = 0;
    if (const SearchError e = countTermHits(index, query, byTopic, termCount); e != SearchError::Ok)
        return e;
    for (const auto& [topic, ranked] : byTopic)
        if (ranked.termsFound == termCount)
            topics.push_back(topic);
    return SearchError::Ok;
}

SearchError rankedSearch(const SearchIndex& index, std::string_view query,
                         std::vector<RankedTopic>& topics) {
    topics.clear();
    std::map<std::uint32_t, RankedTopic> byTopic;
    std::size_t termCount = 0;
    if (const SearchError e = countTermHits(index, query, byTopic, termCount); e != SearchError::Ok)
        return e;
    for (const auto& entry : byTopic)
        topics.push_back(entry.second);
    std::stable_sort(topics.begin(), topics.end(), [](const RankedTopic& a, const RankedTopic& b) {
        if (a.termsFound != b.termsFound)
            return a.termsFound > b.termsFound;
        return a.occurrences > b.occurrences;
    });
    return SearchError::Ok;
}

SearchError search(ReaderArchive& archive, std::string_view query,
                   std::vector<std::uint32_t>& topics) {
    topics.clear();
    const ReaderEntry* entry = archive.find("/$FIftiMain");
    if (!entry || entry->length == 0)
        return SearchError::NoIndex;
    std::vector<std::uint8_t> bytes;
    if (archive.read(*entry, bytes, kMaxIndexFile) != ReadError::Ok)
        return SearchError::ReadFailed;
    SearchIndex index;
    if (const SearchError e = index.load(std::move(bytes)); e != SearchError::Ok)
        return e;
    return search(index, query, topics);
}

std::vector<TopicEntry> readTopics(ReaderArchive& archive) {
    std::vector<std::uint8_t> topics, strings, urls;
    if (archive.read("/#TOPICS", topics, kMaxTableFile) != ReadError::Ok)
        return {};
    archive.read("/#STRINGS", strings, kMaxTableFile);
    archive.read("/#URLSTR", urls, kMaxTableFile);
    auto stringAt = [](const std::vector<std::uint8_t>& pool, std::uint64_t at) {
        std::string s;
        for (std::uint64_t i = at; i < pool.size() && pool[i] != 0; ++i)
            s.push_back(static_cast<char>(pool[i]));
        return s;
    };
    std::vector<std::uint8_t> urlTable;
    archive.read("/#URLTBL", urlTable, kMaxTableFile);
    std::vector<TopicEntry> out;
    for (std::size_t at = 0; at + 16 <= topics.size(); at += 16) {
        TopicEntry entry;
        const std::uint32_t title = getU32(topics, at + 4);
        if (title != 0xFFFFFFFFu)
            entry.title = stringAt(strings, title);
        // #TOPICS points into #URLTBL, whose record points into #URLSTR past two DWORDs.
        const std::uint32_t urlRecord = getU32(topics, at + 8);
        if (static_cast<std::uint64_t>(urlRecord) + 12 <= urlTable.size())
            entry.url =
                stringAt(urls, static_cast<std::uint64_t>(getU32(urlTable, urlRecord + 8)) + 8);
        out.push_back(std::move(entry));
    }
    return out;
}

} // namespace chm
