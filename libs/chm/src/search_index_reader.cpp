// Reads $FIftiMain (layout described beside the writer) and answers queries with it.
//
// Files from Microsoft's compiler differ from ours in ways a reader must accept: the length
// given for a word's location data may run a few bytes past the last topic's data, the roots
// of the location code vary from file to file, and the header counts some fields differently.
// Every offset and count is checked against the bytes held; a damaged index finds nothing.
#include "chm/byte_cursor.h"
#include "chm/reader_archive.h"
#include "chm/search_format.h"
#include "chm/search_index.h"
#include "chm/system_format.h"

#include <algorithm>
#include <map>
#include <unordered_set>

namespace chm {

namespace {

constexpr std::uint64_t kMaxIndexFile = 256u << 20;
constexpr std::uint64_t kMaxTableFile = 64u << 20;
// Nodes bigger than this are no index of any compiler we know.
constexpr std::uint32_t kMaxNodeSize = 65536;

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

SearchError SearchIndex::load(std::vector<std::uint8_t> bytes) {
    m_bytes = std::move(bytes);
    if (m_bytes.size() < fts::kHeaderSize)
        return m_bytes.empty() ? SearchError::NoIndex : SearchError::Corrupt;
    const ByteCursor header(m_bytes);
    if (header.at(fts::kSignature).u32() != std::uint32_t{fts::kSignatureByte} << 16)
        return SearchError::Corrupt;
    ByteCursor codes = header.at(fts::kCodes);
    for (std::uint8_t& root : m_roots) {
        if (codes.u8() != fts::kScale)
            return SearchError::Unsupported;
        root = codes.u8();
        if (root > 31)
            return SearchError::Unsupported;
    }
    m_documents = header.at(fts::kDocumentCount).u32();
    m_nodeSize = header.at(fts::kNodeSize).u32();
    m_codePage = header.at(fts::kCodePage).u32();
    m_lcid = header.at(fts::kLcid).u32();
    if (m_nodeSize < 16 || m_nodeSize > kMaxNodeSize)
        return SearchError::Corrupt;
    std::uint32_t node = header.at(fts::kRootNode).u32();
    const std::uint32_t depth = header.at(fts::kDepth).u16();
    if (depth == 0 || depth > 16)
        return SearchError::Corrupt;
    // Down the leftmost edge to the first leaf.
    for (std::uint32_t level = depth; level > 1; --level) {
        if (static_cast<std::uint64_t>(node) + m_nodeSize > m_bytes.size())
            return SearchError::Corrupt;
        ByteCursor entry =
            ByteCursor(std::span(m_bytes).subspan(node, m_nodeSize)).at(fts::kIndexHeaderSize);
        const std::size_t length = entry.u8();
        if (length == 0 || !entry.skip(1 + length - 1))
            return SearchError::Corrupt;
        node = entry.u32();
        if (!entry.ok())
            return SearchError::Corrupt;
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
        const auto nodeBytes = std::span(m_bytes).subspan(node, m_nodeSize);
        const std::uint32_t freeBytes = ByteCursor(nodeBytes).at(fts::kLeafFree).u16();
        if (freeBytes > m_nodeSize - fts::kLeafHeaderSize)
            return SearchError::Corrupt;
        ByteCursor leaf =
            ByteCursor(nodeBytes.first(m_nodeSize - freeBytes)).at(fts::kLeafHeaderSize);
        word.clear();
        while (leaf.remaining() > 0) {
            const std::size_t length = leaf.u8();
            const std::size_t shared = leaf.u8();
            if (!leaf.ok() || length == 0 || shared > word.size())
                return SearchError::Corrupt;
            const auto own = leaf.bytes(length - 1);
            const std::uint8_t context = leaf.u8();
            const std::uint64_t topics = leaf.varint();
            const std::uint32_t dataAt = leaf.u32();
            leaf.skip(fts::kDataOffsetSize - 4);
            const std::uint64_t dataLength = leaf.varint();
            if (!leaf.ok() || dataAt > m_bytes.size() || dataLength > m_bytes.size() - dataAt)
                return SearchError::Corrupt;
            word.resize(shared);
            word.append(own.begin(), own.end());
            const SearchError e = visit(word, context, topics, dataAt, dataLength);
            if (e != SearchError::Ok)
                return e;
        }
        const std::uint32_t next = ByteCursor(nodeBytes).at(fts::kLeafNext).u32();
        if (next == 0)
            return SearchError::Ok;
        node = next;
    }
}

SearchError SearchIndex::words(std::vector<std::string>& out) const {
    out.clear();
    return visitWords([&](std::string_view word) {
        if (out.empty() || out.back() != word)
            out.emplace_back(word);
    });
}

SearchError SearchIndex::visitWords(const std::function<void(std::string_view)>& visit) const {
    return forEachEntry(
        [&](const std::string& word, std::uint8_t, std::uint64_t, std::uint32_t, std::uint64_t) {
            visit(word);
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
                // Microsoft's compiler sometimes steps back to an earlier place, as a
                // difference taken modulo 2^32; the places are sorted below.
                for (std::uint32_t k = 0; k < count; ++k) {
                    if (!bits.code(m_roots[2], delta))
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

std::vector<std::string> missingWords(std::vector<std::uint8_t> indexBytes,
                                      const std::vector<std::string>& pages) {
    SearchIndex index;
    if (index.load(std::move(indexBytes)) != SearchError::Ok)
        return {};
    // The pages' words, looked at where the cutter put them (each page's kept to the end),
    // less those the index holds.
    std::vector<PageWords> cut(pages.size());
    std::unordered_set<std::string_view> seen;
    PageCutter cutter(index.codePage());
    for (std::size_t p = 0; p < pages.size(); ++p) {
        cutter.cut(pages[p], cut[p]);
        for (std::size_t i = 0; i < cut[p].size(); ++i)
            seen.insert(cut[p].word(i));
    }
    // A compiler that splits words at underscores or dots holds "add_library" as "add" and
    // "library": a word whose parts are all there was cut otherwise, not stopped.
    const auto parts = [](std::string_view word) {
        std::vector<std::string_view> out;
        for (std::size_t start = 0; start <= word.size();) {
            const std::size_t end = std::min(word.find_first_of("_.", start), word.size());
            if (end > start)
                out.push_back(word.substr(start, end - start));
            start = end + 1;
        }
        return out;
    };
    std::unordered_set<std::string_view> partsWanted, partsFound;
    for (const std::string_view word : seen)
        if (word.find_first_of("_.") != std::string_view::npos)
            for (const std::string_view part : parts(word))
                partsWanted.insert(part);
    std::unordered_set<std::string_view> missing = seen;
    bool anyWord = false;
    if (index.visitWords([&](std::string_view word) {
            anyWord = true;
            missing.erase(word);
            if (const auto part = partsWanted.find(word); part != partsWanted.end())
                partsFound.insert(*part);
        }) != SearchError::Ok ||
        !anyWord)
        return {};
    std::erase_if(missing, [&](std::string_view word) {
        const auto pieces = parts(word);
        return word.find_first_of("_.") != std::string_view::npos &&
               std::all_of(pieces.begin(), pieces.end(),
                           [&](std::string_view piece) { return partsFound.contains(piece); });
    });
    // A stop list is a small share of a language's words; a quarter of them missing means
    // another word rule.
    if (missing.size() * 4 > seen.size())
        return {};
    std::vector<std::string> out(missing.begin(), missing.end());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<TopicEntry> readTopics(ReaderArchive& archive) {
    std::vector<std::uint8_t> topics, strings, urls, urlTable;
    if (archive.read("/#TOPICS", topics, kMaxTableFile) != ReadError::Ok)
        return {};
    archive.read("/#STRINGS", strings, kMaxTableFile);
    archive.read("/#URLSTR", urls, kMaxTableFile);
    archive.read("/#URLTBL", urlTable, kMaxTableFile);
    // A string that lies outside its file or has no terminator reads as empty.
    const auto stringAt = [](const std::vector<std::uint8_t>& pool, std::uint64_t at) {
        return std::string(at < pool.size() ? ByteCursor(pool).at(at).cString() : "");
    };
    std::vector<TopicEntry> out;
    const ByteCursor all(topics);
    for (std::size_t at = 0; at + topic_entry::kSize <= topics.size(); at += topic_entry::kSize) {
        TopicEntry entry;
        const std::uint32_t title = all.at(at + topic_entry::kTitle).u32();
        if (title != kNotSet)
            entry.title = stringAt(strings, title);
        // #TOPICS points into #URLTBL, whose record points into #URLSTR.
        const std::uint32_t urlRecord = all.at(at + topic_entry::kUrlTableOffset).u32();
        ByteCursor record = ByteCursor(urlTable).at(urlRecord);
        if (record.remaining() >= url_table::kRecordSize) {
            const std::uint32_t url = record.at(urlRecord + url_table::kUrlStringOffset).u32();
            entry.url = stringAt(urls, std::uint64_t{url} + url_string::kUrl);
        }
        out.push_back(std::move(entry));
    }
    return out;
}

} // namespace chm
