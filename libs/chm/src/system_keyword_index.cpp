// The binary keyword index: a B-tree of keywords with the topics they lead to, one tree for
// keyword links (the index tab) and one for associative links.
//
// BTree is a 76-byte header and 2048-byte blocks: listing blocks first, chained to their
// neighbours, then the index blocks of each level above them, the root last. Each listing
// entry is the UTF-16 keyword, its nesting, the topic numbers, and the offset of its 13-byte
// record in Data; an index entry repeats the first keyword of the block it leads to and ends
// in that block's number instead. Map lists, per listing block, how many keywords come before
// it, so that the viewer can jump to the n-th keyword without walking the tree.
#include "byte_writer.h"
#include "chm/system_tables.h"

#include <algorithm>

namespace chm {

using detail::patchU16;
using detail::putU16;
using detail::putU32;
using detail::putWideCString;
using detail::putZeros;

namespace {

constexpr std::size_t kBlockSize = 2048;
constexpr std::size_t kListingHeader = 12; // free bytes, count, previous, next
constexpr std::size_t kIndexHeader = 8;    // free bytes, count, first child
constexpr std::uint32_t kNoBlock = 0xFFFFFFFF;
constexpr std::uint16_t kSeeAlso = 2;
constexpr std::uint32_t kDataRecordSize = 13;

// The keyword, nesting and topics, shared by listing and index entries.
std::vector<std::uint8_t> entryBody(const FlatKeyword& k, std::size_t topicCount) {
    std::vector<std::uint8_t> out;
    putWideCString(out, k.text);
    putU16(out, k.seeAlso.empty() ? 0 : kSeeAlso);
    putU16(out, k.depth);
    putU32(out, k.lastComponentStart);
    putU32(out, 0);
    if (!k.seeAlso.empty()) {
        putWideCString(out, k.seeAlso);
    } else {
        putU32(out, static_cast<std::uint32_t>(topicCount));
        for (std::size_t i = 0; i < topicCount; ++i)
            putU32(out, k.topics[i]);
    }
    return out;
}

// Entry bytes with as many topic references as fit beside room bytes of trailer in an empty
// block.
std::vector<std::uint8_t> fittingBody(const FlatKeyword& k, std::size_t headerSize,
                                      std::size_t trailer, std::size_t& dropped) {
    std::size_t count = k.seeAlso.empty() ? k.topics.size() : 0;
    std::vector<std::uint8_t> body = entryBody(k, count);
    while (headerSize + body.size() + trailer > kBlockSize && count > 0) {
        const std::size_t excess = headerSize + body.size() + trailer - kBlockSize;
        const std::size_t drop = std::min(count, (excess + 3) / 4);
        count -= drop;
        dropped += drop;
        body = entryBody(k, count);
    }
    return body;
}

struct Block {
    std::vector<std::uint8_t> bytes; // without the header
    std::uint16_t count = 0;
    std::size_t firstEntry = 0; // index of its first keyword
    std::uint32_t firstChild = 0;
};

void finishBlock(std::vector<std::uint8_t>& out, const Block& b, std::size_t headerSize,
                 std::uint32_t previous, std::uint32_t next, bool listing) {
    const std::size_t start = out.size();
    putU16(out, 0); // free bytes, patched below
    putU16(out, b.count);
    if (listing) {
        putU32(out, previous);
        putU32(out, next);
    } else {
        putU32(out, b.firstChild);
    }
    out.insert(out.end(), b.bytes.begin(), b.bytes.end());
    const std::size_t used = headerSize + b.bytes.size();
    patchU16(out, start, static_cast<std::uint16_t>(kBlockSize - used));
    putZeros(out, kBlockSize - used);
}

} // namespace

std::vector<std::uint8_t> emptyKeywordProperty() {
    return std::vector<std::uint8_t>(4, 0);
}

KeywordFiles buildKeywordFiles(const std::vector<FlatKeyword>& keywords, std::uint32_t codePage,
                               std::uint32_t lcid, std::size_t& droppedReferences) {
    KeywordFiles files;
    if (keywords.empty()) {
        files.property = emptyKeywordProperty();
        return files;
    }

    // Listing blocks. An entry's bodies are cut once so that listing and index copies agree.
    std::vector<std::vector<std::uint8_t>> bodies;
    bodies.reserve(keywords.size());
    for (const FlatKeyword& k : keywords) // an index copy ends in 4 bytes, a listing one in 8
        bodies.push_back(
            fittingBody(k, std::max(kListingHeader, kIndexHeader), 8, droppedReferences));

    std::vector<Block> listing;
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        const std::size_t size = bodies[i].size() + 8;
        if (listing.empty() || kListingHeader + listing.back().bytes.size() + size > kBlockSize) {
            listing.emplace_back();
            listing.back().firstEntry = i;
        }
        Block& b = listing.back();
        b.bytes.insert(b.bytes.end(), bodies[i].begin(), bodies[i].end());
        putU32(b.bytes, 1);
        putU32(b.bytes, kDataRecordSize * static_cast<std::uint32_t>(i));
        ++b.count;
    }

    // Index levels above the listing blocks until one block holds them all. Each level's
    // entries name the blocks of the level below, from the second on.
    struct Level {
        std::vector<Block> blocks;
        std::uint32_t firstNumber = 0;
    };
    std::vector<Level> levels;
    levels.push_back({listing, 0});
    std::uint32_t nextNumber = static_cast<std::uint32_t>(listing.size());
    while (levels.back().blocks.size() > 1) {
        const Level& below = levels.back();
        Level up;
        up.firstNumber = nextNumber;
        for (std::size_t c = 0; c < below.blocks.size(); ++c) {
            const std::uint32_t childNumber = below.firstNumber + static_cast<std::uint32_t>(c);
            if (c == 0) {
                up.blocks.emplace_back();
                up.blocks.back().firstChild = childNumber;
                up.blocks.back().firstEntry = below.blocks[c].firstEntry;
                continue;
            }
            const std::vector<std::uint8_t>& body = bodies[below.blocks[c].firstEntry];
            const std::size_t size = body.size() + 4;
            if (kIndexHeader + up.blocks.back().bytes.size() + size > kBlockSize) {
                up.blocks.emplace_back();
                up.blocks.back().firstChild = childNumber;
                up.blocks.back().firstEntry = below.blocks[c].firstEntry;
                continue;
            }
            Block& b = up.blocks.back();
            b.bytes.insert(b.bytes.end(), body.begin(), body.end());
            putU32(b.bytes, childNumber);
            ++b.count;
        }
        nextNumber += static_cast<std::uint32_t>(up.blocks.size());
        levels.push_back(std::move(up));
    }
    const std::uint32_t blockCount = nextNumber;

    // Header.
    std::vector<std::uint8_t>& t = files.btree;
    t = {0x3B, 0x29};                                  // 0x00 signature
    putU16(t, 0x0104);                                 // 0x02 flags
    putU16(t, static_cast<std::uint16_t>(kBlockSize)); // 0x04
    detail::putBytes(t, "X44");                        // 0x06 entry format
    putZeros(t, 13);
    putU32(t, 0);                                              // 0x16
    putU32(t, static_cast<std::uint32_t>(listing.size() - 1)); // 0x1A last listing block
    putU32(t, blockCount - 1);                                 // 0x1E root block
    putU32(t, kNoBlock);                                       // 0x22
    putU32(t, blockCount);                                     // 0x26
    putU16(t, static_cast<std::uint16_t>(levels.size()));      // 0x2A depth
    putU32(t, static_cast<std::uint32_t>(keywords.size()));    // 0x2C
    putU32(t, codePage);                                       // 0x30
    putU32(t, lcid);                                           // 0x34
    putU32(t, 1);                                              // 0x38 compiled help file
    putU32(t, 10031);                                          // 0x3C
    putZeros(t, 12);                                           // 0x40

    for (std::size_t i = 0; i < listing.size(); ++i) {
        const std::uint32_t previous = i == 0 ? kNoBlock : static_cast<std::uint32_t>(i - 1);
        const std::uint32_t next =
            i + 1 == listing.size() ? kNoBlock : static_cast<std::uint32_t>(i + 1);
        finishBlock(t, listing[i], kListingHeader, previous, next, true);
    }
    for (std::size_t l = 1; l < levels.size(); ++l)
        for (const Block& b : levels[l].blocks)
            finishBlock(t, b, kIndexHeader, 0, 0, false);

    putU16(files.map, static_cast<std::uint16_t>(listing.size()));
    for (std::size_t i = 0; i < listing.size(); ++i) {
        putU32(files.map, static_cast<std::uint32_t>(listing[i].firstEntry));
        putU32(files.map, static_cast<std::uint32_t>(i));
    }

    for (std::size_t i = 0; i < keywords.size(); ++i) {
        putU32(files.data, 0);
        putU32(files.data, 5);
        putU32(files.data, 0x80);
        files.data.push_back(0);
    }

    for (std::uint32_t v : {0u, 0u, 0u, 0x0Cu, 1u, 1u, 0u, 0u})
        putU32(files.property, v);
    return files;
}

} // namespace chm
