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
#include "chm/search_index.h"

#include <algorithm>
#include <array>
#include <bit>

namespace chm {

namespace {

constexpr std::size_t kHeaderSize = 0x400;
constexpr std::size_t kNodeSize = 4096;
constexpr std::size_t kLeafHeader = 8;
constexpr std::size_t kIndexHeader = 2;
// Readers only know the scale 2 code; roots are tried in this range.
constexpr unsigned kScale = 2;
constexpr unsigned kMinRoot = 1;
constexpr unsigned kMaxRoot = 15;

void putU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void putU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void appendU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

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

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : m_out(out) {}
    void bit(unsigned b) {
        m_byte = static_cast<std::uint8_t>((m_byte << 1) | (b & 1));
        if (++m_count == 8)
            flushByte();
    }
    void bits(std::uint32_t v, unsigned count) {
        while (count > 0)
            bit((v >> --count) & 1);
    }
    void code(std::uint32_t v, unsigned root) {
        const unsigned n = bitLength(v);
        if (n <= root) {
            bit(0);
            bits(v, root);
            return;
        }
        for (unsigned i = 0; i < n - root; ++i)
            bit(1);
        bit(0);
        bits(v, n - 1); // the leading 1 is implied
    }
    void align() {
        if (m_count == 0)
            return;
        m_byte = static_cast<std::uint8_t>(m_byte << (8 - m_count));
        flushByte();
    }

private:
    void flushByte() {
        m_out.push_back(m_byte);
        m_byte = 0;
        m_count = 0;
    }
    std::vector<std::uint8_t>& m_out;
    std::uint8_t m_byte = 0;
    unsigned m_count = 0;
};

// A node being filled: leaf or index.
class NodeBuilder {
public:
    explicit NodeBuilder(std::size_t headerSize) : m_headerSize(headerSize) { clear(); }
    void clear() {
        m_bytes.assign(m_headerSize, 0);
        m_previous.clear();
        m_lastWord.clear();
        m_entries = 0;
    }
    bool empty() const { return m_entries == 0; }
    // Appends an entry (word plus tail bytes) if it fits; false otherwise.
    bool add(const std::string& word, const std::vector<std::uint8_t>& tail) {
        std::size_t shared = 0;
        const std::size_t limit = std::min<std::size_t>({m_previous.size(), word.size(), 255});
        while (shared < limit && m_previous[shared] == word[shared])
            ++shared;
        const std::size_t size = 2 + (word.size() - shared) + tail.size();
        if (m_bytes.size() + size > kNodeSize)
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
    std::size_t freeBytes() const { return kNodeSize - m_bytes.size(); }
    std::vector<std::uint8_t>& bytes() { return m_bytes; }
    const std::string& lastWord() const { return m_lastWord; }

private:
    std::size_t m_headerSize;
    std::vector<std::uint8_t> m_bytes;
    std::string m_previous;
    std::string m_lastWord;
    std::size_t m_entries = 0;
};

struct ChildRef {
    std::string lastWord;
    std::uint32_t offset = 0;
};

} // namespace

SearchIndexWriter::SearchIndexWriter(std::uint32_t codePage, std::uint32_t lcid)
    : m_codePage(codePage), m_lcid(lcid), m_encoder(codePage) {}

void SearchIndexWriter::addStopWords(std::string_view text) {
    std::vector<std::u32string> words;
    splitWords(decodeText(text, m_codePage), words);
    std::string encoded;
    for (const auto& w : words)
        if (m_encoder.encode(w, encoded))
            m_stopWords.insert(encoded);
}

bool SearchIndexWriter::isStopWord(const std::string& encodedWord) const {
    return m_stopWords.contains(encodedWord);
}

PageWords pageWords(const PageText& text, WordEncoder& encoder) {
    PageWords out;
    std::vector<std::u32string> words;
    splitWords(text.title, words);
    out.titleWords = words.size();
    splitWords(text.body, words);
    out.words.resize(words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string& bytes = out.words[i];
        if (!encoder.encode(words[i], bytes) || bytes.size() > kMaxIndexedWord)
            bytes.clear();
    }
    return out;
}

void SearchIndexWriter::addPage(std::uint32_t topic, const PageText& text) {
    addPage(topic, pageWords(text, m_encoder));
}

void SearchIndexWriter::addPage(std::uint32_t topic, const PageWords& page) {
    if (m_anyPage && topic <= m_lastTopic)
        return;
    if (!m_anyPage)
        m_words.reserve(1u << 14);
    m_anyPage = true;
    m_lastTopic = topic;
    ++m_stats.documents;
    for (std::size_t at = 0; at < page.words.size(); ++at) {
        const std::string& word = page.words[at];
        if (word.empty()) {
            ++m_stats.skippedWords;
            continue;
        }
        if (!m_stopWords.empty() && m_stopWords.contains(word))
            continue;
        Postings& p = m_words[word].context[at < page.titleWords ? 1 : 0];
        if (p.topics.empty() || p.topics.back() != topic) {
            p.topics.push_back(topic);
            p.counts.push_back(0);
        }
        ++p.counts.back();
        p.locations.push_back(static_cast<std::uint32_t>(at));
        ++m_stats.occurrences;
        m_totalLength += word.size();
    }
}

std::vector<std::uint8_t> SearchIndexWriter::build() {
    std::vector<const std::string*> order;
    order.reserve(m_words.size());
    for (const auto& [word, entry] : m_words)
        order.push_back(&word);
    std::sort(order.begin(), order.end(),
              [](const std::string* a, const std::string* b) { return *a < *b; });

    // The roots that make the location data smallest for this file.
    RootChooser topicRoot, countRoot, locationRoot;
    for (const auto& [word, entry] : m_words) {
        for (const Postings& p : entry.context) {
            std::uint32_t previous = 0;
            std::size_t at = 0;
            for (std::size_t i = 0; i < p.topics.size(); ++i) {
                topicRoot.add(p.topics[i] - previous);
                previous = p.topics[i];
                countRoot.add(p.counts[i]);
                std::uint32_t last = 0;
                for (std::uint32_t k = 0; k < p.counts[i]; ++k, ++at) {
                    locationRoot.add(p.locations[at] - last);
                    last = p.locations[at];
                }
            }
        }
    }
    const unsigned roots[3] = {topicRoot.best(), countRoot.best(), locationRoot.best()};

    std::vector<std::uint8_t> out(kHeaderSize, 0);
    std::vector<ChildRef> level;
    NodeBuilder leaf(kLeafHeader);
    std::size_t previousLeafAt = 0;
    bool havePreviousLeaf = false;
    std::uint64_t unusedBytes = 0;
    std::uint32_t longest = 0;
    std::uint64_t distinctLength = 0;
    auto flushLeaf = [&] {
        const std::size_t at = out.size();
        putU16(leaf.bytes(), 6, static_cast<std::uint32_t>(leaf.freeBytes()));
        unusedBytes += leaf.freeBytes();
        std::vector<std::uint8_t>& node = leaf.bytes();
        node.resize(kNodeSize, 0);
        out.insert(out.end(), node.begin(), node.end());
        if (havePreviousLeaf)
            putU32(out, previousLeafAt, static_cast<std::uint32_t>(at));
        havePreviousLeaf = true;
        previousLeafAt = at;
        level.push_back({leaf.lastWord(), static_cast<std::uint32_t>(at)});
        leaf.clear();
    };

    std::vector<std::uint8_t> tail;
    for (const std::string* word : order) {
        const WordEntry& entry = m_words[*word];
        longest = std::max(longest, static_cast<std::uint32_t>(word->size()));
        distinctLength += word->size();
        for (std::uint8_t context = 0; context < 2; ++context) {
            const Postings& p = entry.context[context];
            if (p.topics.empty())
                continue;
            const std::size_t dataAt = out.size();
            BitWriter bits(out);
            std::uint32_t previous = 0;
            std::size_t at = 0;
            for (std::size_t i = 0; i < p.topics.size(); ++i) {
                bits.code(p.topics[i] - previous, roots[0]);
                previous = p.topics[i];
                bits.code(p.counts[i], roots[1]);
                std::uint32_t last = 0;
                for (std::uint32_t k = 0; k < p.counts[i]; ++k, ++at) {
                    bits.code(p.locations[at] - last, roots[2]);
                    last = p.locations[at];
                }
                bits.align();
            }
            tail.clear();
            tail.push_back(context);
            appendVarint(tail, p.topics.size());
            appendU32(tail, static_cast<std::uint32_t>(dataAt));
            tail.push_back(0);
            tail.push_back(0);
            appendVarint(tail, out.size() - dataAt);
            if (!leaf.add(*word, tail)) {
                flushLeaf();
                leaf.add(*word, tail);
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
        NodeBuilder node(kIndexHeader);
        auto flushNode = [&] {
            const std::size_t at = out.size();
            putU16(node.bytes(), 0, static_cast<std::uint32_t>(node.freeBytes()));
            unusedBytes += node.freeBytes();
            std::vector<std::uint8_t>& bytes = node.bytes();
            bytes.resize(kNodeSize, 0);
            out.insert(out.end(), bytes.begin(), bytes.end());
            above.push_back({node.lastWord(), static_cast<std::uint32_t>(at)});
            node.clear();
        };
        for (const ChildRef& child : level) {
            tail.clear();
            appendU32(tail, child.offset);
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
    m_stats.distinctWords = static_cast<std::uint32_t>(m_words.size());
    out[2] = 0x28;
    putU32(out, 0x04, documents);
    putU32(out, 0x08, root);
    putU32(out, 0x10, leafCount);
    putU32(out, 0x14, root);
    putU16(out, 0x18, depth);
    putU32(out, 0x1A, 7);
    for (int i = 0; i < 3; ++i) {
        out[0x1E + static_cast<std::size_t>(2 * i)] = kScale;
        out[0x1F + static_cast<std::size_t>(2 * i)] = static_cast<std::uint8_t>(roots[i]);
    }
    putU32(out, 0x2E, kNodeSize);
    putU32(out, 0x32, 1);
    putU32(out, 0x3E, longest);
    putU32(out, 0x42,
           static_cast<std::uint32_t>(std::min<std::uint64_t>(m_stats.occurrences, UINT32_MAX)));
    putU32(out, 0x46, m_stats.distinctWords);
    putU32(out, 0x4A,
           static_cast<std::uint32_t>(std::min<std::uint64_t>(m_totalLength, UINT32_MAX)));
    putU32(out, 0x52,
           static_cast<std::uint32_t>(std::min<std::uint64_t>(distinctLength, UINT32_MAX)));
    putU32(out, 0x56, static_cast<std::uint32_t>(std::min<std::uint64_t>(unusedBytes, UINT32_MAX)));
    putU32(out, 0x5E, documents > 0 ? documents - 1 : 0);
    putU32(out, 0x7A, m_codePage);
    putU32(out, 0x7E, m_lcid);
    return out;
}

} // namespace chm
