// Writes $FIftiMain.
//
// The file opens with a 1,024-byte header, then word-location data and 4,096-byte nodes follow
// in the order they were written: the location data of each word, then the leaf that lists
// the words once it is full, and the index nodes above the leaves last. Nodes are not aligned.
// A leaf entry holds the word (front-compressed against the entry before it in the same node),
// its context (0 body, 1 title), the number of topics that hold it, and where its location
// data lies. Location data is a bit stream, most significant bit first: per topic the topic
// number (as the difference to the previous one), the number of places, and the places (as
// differences), each in the "scale 2, root r" code, padded to a whole byte after each topic.
// Microsoft's compiler picks the roots per file; we pick the ones that make the data smallest.
#include "byte_writer.h"
#include "chm/search_format.h"
#include "chm/search_index.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace chm {

using detail::patchU16;
using detail::patchU32;
using detail::putU32;

namespace {

constexpr std::size_t kNodeBytes = 4096;
// Roots of the scale 2 code are tried in this range.
constexpr unsigned kMinRoot = 1;
constexpr unsigned kMaxRoot = 15;

// 7-bit groups, least significant first.
void appendVarint(std::vector<std::uint8_t>& out, std::uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<std::uint8_t>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(v));
}

unsigned bitLength(std::uint32_t v) {
    return static_cast<unsigned>(std::bit_width(v));
}

// Bits the scale 2 / root r code spends on a value of n significant bits.
std::uint64_t codeBits(unsigned n, unsigned root) {
    return n <= root ? 1u + root : (n - root) + 1u + (n - 1u);
}

// Counts values by their bit length to choose the cheapest root afterwards.
struct RootChooser {
    std::array<std::uint64_t, 33> lengths{};
    void add(std::uint32_t v) { ++lengths[bitLength(v)]; }
    unsigned best() const {
        unsigned bestRoot = kMinRoot;
        std::uint64_t bestCost = UINT64_MAX;
        for (unsigned r = kMinRoot; r <= kMaxRoot; ++r) {
            std::uint64_t cost = 0;
            for (unsigned n = 0; n < lengths.size(); ++n)
                cost += lengths[n] * codeBits(n, r);
            if (cost < bestCost) {
                bestCost = cost;
                bestRoot = r;
            }
        }
        return bestRoot;
    }
};

// Bits most significant first, gathered in a word and written out four bytes at a time; the
// caller aligns before it looks at the output.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : m_out(out) {}
    // The low `count` bits of v; count is at most 32.
    void bits(std::uint32_t v, unsigned count) {
        m_pending = (m_pending << count) | v;
        m_count += count;
        if (m_count >= 32) {
            m_count -= 32;
            const auto word = static_cast<std::uint32_t>(m_pending >> m_count);
            const std::uint8_t bytes[4] = {
                static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
                static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
            m_out.insert(m_out.end(), bytes, bytes + 4);
        }
    }
    void code(std::uint32_t v, unsigned root) {
        const unsigned n = bitLength(v);
        if (n <= root) {
            bits(v, root + 1); // a 0, then the value in root bits
            return;
        }
        // n - root ones and a 0, then the value without its leading 1.
        bits(((1u << (n - root)) - 1u) << 1, n - root + 1);
        bits(v & ((1u << (n - 1)) - 1u), n - 1);
    }
    // Writes what is pending, the last byte padded with 0 bits.
    void align() {
        while (m_count >= 8) {
            m_count -= 8;
            m_out.push_back(static_cast<std::uint8_t>(m_pending >> m_count));
        }
        if (m_count == 0)
            return;
        m_out.push_back(static_cast<std::uint8_t>(m_pending << (8 - m_count)));
        m_count = 0;
    }

private:
    std::vector<std::uint8_t>& m_out;
    std::uint64_t m_pending = 0;
    unsigned m_count = 0;
};

// A node being filled: leaf or index.
class NodeBuilder {
public:
    explicit NodeBuilder(std::size_t headerSize) : m_headerSize(headerSize) { clear(); }
    void clear() {
        m_bytes.assign(m_headerSize, 0);
        m_previous = {};
        m_lastWord = {};
        m_entries = 0;
    }
    bool empty() const { return m_entries == 0; }
    // Appends an entry (word plus tail bytes) if it fits; false otherwise.
    bool add(std::string_view word, const std::vector<std::uint8_t>& tail) {
        std::size_t shared = 0;
        const std::size_t limit = std::min<std::size_t>({m_previous.size(), word.size(), 255});
        while (shared < limit && m_previous[shared] == word[shared])
            ++shared;
        const std::size_t size = 2 + (word.size() - shared) + tail.size();
        if (m_bytes.size() + size > kNodeBytes)
            return false;
        m_bytes.push_back(static_cast<std::uint8_t>(word.size() - shared + 1));
        m_bytes.push_back(static_cast<std::uint8_t>(shared));
        m_bytes.insert(m_bytes.end(), word.begin() + static_cast<std::ptrdiff_t>(shared),
                       word.end());
        m_bytes.insert(m_bytes.end(), tail.begin(), tail.end());
        m_previous = word;
        m_lastWord = word;
        ++m_entries;
        return true;
    }
    std::size_t freeBytes() const { return kNodeBytes - m_bytes.size(); }
    std::vector<std::uint8_t>& bytes() { return m_bytes; }
    std::string_view lastWord() const { return m_lastWord; }

private:
    std::size_t m_headerSize;
    std::vector<std::uint8_t> m_bytes;
    std::string_view m_previous; // words outlive the node
    std::string_view m_lastWord;
    std::size_t m_entries = 0;
};

struct ChildRef {
    std::string_view lastWord;
    std::uint32_t offset = 0;
};

} // namespace

// Every word met, stored once: its bytes in blocks that never move, found through an
// open-addressing table; and every place a word was met, in the order pages came.
struct SearchIndexWriter::Words {
    struct Word {
        std::string_view bytes;
        std::uint64_t hash = 0;
        bool stop = false;
    };
    struct Occurrence {
        std::uint32_t key; // word number * 2 + context (0 body, 1 title)
        std::uint32_t topic;
        std::uint32_t location;
    };
    static constexpr std::size_t kBlockSize = 1u << 16;

    // A slot holds the word's number + 1 (0: free) and the high half of its hash, which
    // settles most mismatches without touching the word.
    struct Slot {
        std::uint32_t entry;
        std::uint32_t tag;
    };
    std::vector<Word> list;
    std::vector<Slot> table;
    std::vector<std::unique_ptr<char[]>> blocks;
    std::size_t blockUsed = kBlockSize;
    std::vector<Occurrence> occurrences;

    // Short words (every word of Chinese and Japanese text is one character) are looked up by
    // their bytes in a small direct-mapped cache first, which spares hashing and comparing.
    static constexpr std::size_t kShortWord = 4;
    static constexpr unsigned kCacheBits = 12;
    struct Cached {
        std::uint64_t bytes = 0;
        std::uint32_t id = 0;
        std::uint32_t length = 0; // 0: empty
    };
    std::vector<Cached> cache;

    Words() : table(1u << 14, Slot{0, 0}), cache(std::size_t{1} << kCacheBits) {}

    static std::uint64_t shortKey(std::string_view w) {
        std::uint64_t bytes = 0;
        for (std::size_t i = 0; i < w.size(); ++i)
            bytes |= std::uint64_t{static_cast<unsigned char>(w[i])} << (8 * i);
        return bytes;
    }

    // The word's number, stored first if it is new.
    std::uint32_t intern(std::string_view w) {
        if (w.empty() || w.size() > kShortWord)
            return internSlow(w);
        const std::uint64_t bytes = shortKey(w);
        const std::uint64_t mixed = (bytes ^ w.size()) * 0x9E3779B97F4A7C15ull;
        Cached& entry = cache[static_cast<std::size_t>(mixed >> (64 - kCacheBits))];
        if (entry.length == w.size() && entry.bytes == bytes)
            return entry.id;
        const std::uint32_t id = internSlow(w);
        entry = {bytes, id, static_cast<std::uint32_t>(w.size())};
        return id;
    }

    // 64-bit hash of a word: eight bytes at a time, multiplied and folded.
    static std::uint64_t hashOf(std::string_view w) {
        constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
        std::uint64_t h = w.size() * kMultiplier;
        std::size_t i = 0;
        for (; i + 8 <= w.size(); i += 8) {
            std::uint64_t chunk = 0;
            std::memcpy(&chunk, w.data() + i, 8);
            h = (h ^ chunk) * kMultiplier;
            h ^= h >> 29;
        }
        if (i < w.size()) {
            std::uint64_t chunk = 0;
            std::memcpy(&chunk, w.data() + i, w.size() - i);
            h = (h ^ chunk) * kMultiplier;
            h ^= h >> 29;
        }
        return h * kMultiplier ^ (h >> 32);
    }

    // The slot that holds the word, or the free slot where it belongs.
    std::size_t slotOf(std::string_view w, std::uint64_t hash) const {
        const std::size_t mask = table.size() - 1;
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const Slot& s = table[slot];
            if (s.entry == 0)
                return slot;
            if (s.tag == tag && list[s.entry - 1].bytes == w)
                return slot;
        }
    }

    const Word* find(std::string_view w) const {
        const std::uint32_t entry = table[slotOf(w, hashOf(w))].entry;
        return entry == 0 ? nullptr : &list[entry - 1];
    }

    std::uint32_t internSlow(std::string_view w) {
        const std::uint64_t hash = hashOf(w);
        std::size_t slot = slotOf(w, hash);
        if (table[slot].entry != 0)
            return table[slot].entry - 1;
        if (2 * (list.size() + 1) > table.size()) {
            grow();
            slot = slotOf(w, hash);
        }
        if (kBlockSize - blockUsed < w.size()) {
            blocks.push_back(std::make_unique<char[]>(kBlockSize));
            blockUsed = 0;
        }
        char* at = blocks.back().get() + blockUsed;
        std::memcpy(at, w.data(), w.size());
        blockUsed += w.size();
        list.push_back({std::string_view(at, w.size()), hash, false});
        table[slot] = {static_cast<std::uint32_t>(list.size()),
                       static_cast<std::uint32_t>(hash >> 32)};
        return static_cast<std::uint32_t>(list.size() - 1);
    }

    void grow() {
        std::vector<Slot> bigger(table.size() * 2, Slot{0, 0});
        const std::size_t mask = bigger.size() - 1;
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::size_t slot = list[i].hash & mask;
            while (bigger[slot].entry != 0)
                slot = (slot + 1) & mask;
            bigger[slot] = {static_cast<std::uint32_t>(i + 1),
                            static_cast<std::uint32_t>(list[i].hash >> 32)};
        }
        table = std::move(bigger);
    }
};

SearchIndexWriter::SearchIndexWriter(std::uint32_t codePage, std::uint32_t lcid)
    : m_codePage(codePage), m_lcid(lcid), m_encoder(codePage), m_words(std::make_unique<Words>()) {}

SearchIndexWriter::~SearchIndexWriter() = default;

void SearchIndexWriter::addStopWords(std::string_view text) {
    std::vector<std::u32string> words;
    splitWords(decodeText(text, m_codePage), words);
    std::string encoded;
    for (const auto& w : words)
        if (m_encoder.encode(w, encoded) && !encoded.empty() && encoded.size() <= kMaxIndexedWord)
            m_words->list[m_words->intern(encoded)].stop = true;
}

bool SearchIndexWriter::isStopWord(std::string_view encodedWord) const {
    const Words::Word* word = m_words->find(encodedWord);
    return word != nullptr && word->stop;
}

void SearchIndexWriter::addPage(std::uint32_t topic, const PageWords& page) {
    if (m_anyPage && topic <= m_lastTopic)
        return;
    m_anyPage = true;
    m_lastTopic = topic;
    ++m_stats.documents;
    Words& words = *m_words;
    for (std::size_t at = 0; at < page.size(); ++at) {
        const std::string_view word = page.word(at);
        if (word.empty()) {
            ++m_stats.skippedWords;
            continue;
        }
        const std::uint32_t id = words.intern(word);
        if (words.list[id].stop)
            continue;
        words.occurrences.push_back(
            {id * 2 + (at < page.titleWords ? 1u : 0u), topic, static_cast<std::uint32_t>(at)});
        m_totalLength += word.size();
    }
    m_stats.occurrences = words.occurrences.size();
}

std::vector<std::uint8_t> SearchIndexWriter::build() {
    Words& words = *m_words;
    // The places of each word and context together, still in the order they were met: by
    // topic, and by location within a topic.
    struct Place {
        std::uint32_t topic;
        std::uint32_t location;
    };
    const std::size_t keys = words.list.size() * 2;
    std::vector<std::size_t> first(keys + 1, 0);
    for (const auto& o : words.occurrences)
        ++first[o.key + 1];
    for (std::size_t k = 0; k < keys; ++k)
        first[k + 1] += first[k];
    std::vector<Place> places(words.occurrences.size());
    {
        std::vector<std::size_t> next(first.begin(), first.end() - 1);
        for (const auto& o : words.occurrences)
            places[next[o.key]++] = {o.topic, o.location};
    }
    words.occurrences = {};

    // The roots that make the location data smallest for this file.
    RootChooser topicRoot, countRoot, locationRoot;
    for (std::size_t k = 0; k < keys; ++k) {
        std::uint32_t previous = 0;
        for (std::size_t i = first[k]; i < first[k + 1];) {
            const std::uint32_t topic = places[i].topic;
            topicRoot.add(topic - previous);
            previous = topic;
            std::uint32_t last = 0;
            std::uint32_t count = 0;
            for (; i < first[k + 1] && places[i].topic == topic; ++i, ++count) {
                locationRoot.add(places[i].location - last);
                last = places[i].location;
            }
            countRoot.add(count);
        }
    }
    const unsigned roots[3] = {topicRoot.best(), countRoot.best(), locationRoot.best()};

    std::vector<std::uint32_t> order;
    order.reserve(words.list.size());
    for (std::uint32_t id = 0; id < words.list.size(); ++id)
        if (first[2 * id + 2] != first[2 * id])
            order.push_back(id);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return words.list[a].bytes < words.list[b].bytes;
    });

    std::vector<std::uint8_t> out(fts::kHeaderSize, 0);
    out.reserve(fts::kHeaderSize + places.size() * 2 + order.size() * 16);
    std::vector<ChildRef> level;
    NodeBuilder leaf(fts::kLeafHeaderSize);
    std::size_t previousLeafAt = 0;
    bool havePreviousLeaf = false;
    std::uint64_t unusedBytes = 0;
    std::uint32_t longest = 0;
    std::uint64_t distinctLength = 0;
    // Appends a full node with its free-byte count at freeAt; returns where it went.
    const auto appendNode = [&](NodeBuilder& node, std::size_t freeAt) {
        const auto at = static_cast<std::uint32_t>(out.size());
        patchU16(node.bytes(), freeAt, static_cast<std::uint16_t>(node.freeBytes()));
        unusedBytes += node.freeBytes();
        node.bytes().resize(kNodeBytes, 0);
        out.insert(out.end(), node.bytes().begin(), node.bytes().end());
        return at;
    };
    auto flushLeaf = [&] {
        const std::uint32_t at = appendNode(leaf, fts::kLeafFree);
        if (havePreviousLeaf)
            patchU32(out, previousLeafAt + fts::kLeafNext, at);
        havePreviousLeaf = true;
        previousLeafAt = at;
        level.push_back({leaf.lastWord(), at});
        leaf.clear();
    };

    std::vector<std::uint8_t> tail;
    for (const std::uint32_t id : order) {
        const std::string_view word = words.list[id].bytes;
        longest = std::max(longest, static_cast<std::uint32_t>(word.size()));
        distinctLength += word.size();
        for (std::uint8_t context = 0; context < 2; ++context) {
            const std::size_t key = 2 * id + context;
            if (first[key] == first[key + 1])
                continue;
            const std::size_t dataAt = out.size();
            BitWriter bits(out);
            std::uint32_t previous = 0;
            std::uint64_t topics = 0;
            for (std::size_t i = first[key]; i < first[key + 1];) {
                const std::uint32_t topic = places[i].topic;
                std::size_t end = i;
                while (end < first[key + 1] && places[end].topic == topic)
                    ++end;
                bits.code(topic - previous, roots[0]);
                previous = topic;
                bits.code(static_cast<std::uint32_t>(end - i), roots[1]);
                std::uint32_t last = 0;
                for (; i < end; ++i) {
                    bits.code(places[i].location - last, roots[2]);
                    last = places[i].location;
                }
                bits.align();
                ++topics;
            }
            tail.clear();
            tail.push_back(context);
            appendVarint(tail, topics);
            putU32(tail, static_cast<std::uint32_t>(dataAt));
            tail.push_back(0);
            tail.push_back(0);
            appendVarint(tail, out.size() - dataAt);
            if (!leaf.add(word, tail)) {
                flushLeaf();
                leaf.add(word, tail);
            }
        }
    }
    if (!leaf.empty() || level.empty())
        flushLeaf();
    const auto leafCount = static_cast<std::uint32_t>(level.size());

    // Index levels until one node holds them all.
    std::uint16_t depth = 1;
    while (level.size() > 1) {
        std::vector<ChildRef> above;
        NodeBuilder node(fts::kIndexHeaderSize);
        auto flushNode = [&] {
            above.push_back({node.lastWord(), appendNode(node, fts::kIndexFree)});
            node.clear();
        };
        for (const ChildRef& child : level) {
            tail.clear();
            putU32(tail, child.offset);
            tail.push_back(0);
            tail.push_back(0);
            if (!node.add(child.lastWord, tail)) {
                flushNode();
                node.add(child.lastWord, tail);
            }
        }
        flushNode();
        level = std::move(above);
        ++depth;
    }
    const std::uint32_t root = level.front().offset;

    const auto documents = m_stats.documents;
    m_stats.distinctWords = static_cast<std::uint32_t>(order.size());
    using namespace fts;
    out[kSignature + 2] = kSignatureByte;
    patchU32(out, kDocumentCount, documents);
    patchU32(out, kRootNode, root);
    patchU32(out, kLeafCount, leafCount);
    patchU32(out, kRootNodeAgain, root);
    patchU16(out, kDepth, depth);
    patchU32(out, kUnknown1A, 7);
    for (std::size_t i = 0; i < 3; ++i) {
        out[kCodes + 2 * i] = kScale;
        out[kCodes + 2 * i + 1] = static_cast<std::uint8_t>(roots[i]);
    }
    patchU32(out, fts::kNodeSize, static_cast<std::uint32_t>(kNodeBytes));
    patchU32(out, kUnknown32, 1);
    patchU32(out, kLongestWord, longest);
    const auto capped = [](std::uint64_t v) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, UINT32_MAX));
    };
    patchU32(out, kTotalWords, capped(m_stats.occurrences));
    patchU32(out, kDistinctWords, m_stats.distinctWords);
    patchU32(out, kTotalWordLength, capped(m_totalLength));
    patchU32(out, kDistinctWordLength, capped(distinctLength));
    patchU32(out, kUnusedNodeBytes, capped(unusedBytes));
    patchU32(out, kLastDocument, documents > 0 ? documents - 1 : 0);
    patchU32(out, kCodePage, m_codePage);
    patchU32(out, kLcid, m_lcid);
    return out;
}

} // namespace chm
