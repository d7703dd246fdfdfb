// PMGL/PMGI chunk packing.
//
// A chunk holds entries from its header on and, growing down from its end, a WORD entry count and
// a quickref WORD for every fifth entry (the offset of entry 5m, relative to the first entry, at
// end - 2 - 2m). The header's free-space DWORD covers everything after the last entry, quickrefs
// included; 7-Zip parses entries until exactly that point. libmspack trusts the quickrefs only if
// the area holds ceil(entries / 5) words, one more than are written, so we leave room for it.
// Index chunks carry the first name of each chunk below them and come after all listing chunks.
#include "container_directory.h"

#include "byte_writer.h"

#include <algorithm>

namespace chm::container {
namespace {

using detail::patchU16;
using detail::patchU32;

constexpr std::uint32_t kQuickRefStep = 1 + (1u << kQuickRefDensity);
// PMGL and PMGI keep their free-space DWORD at the same place.
static_assert(pmgl::kFreeSpace == pmgi::kFreeSpace);

// Fills chunks of one kind from serialised entries; the caller writes each chunk's header.
class ChunkPacker {
public:
    explicit ChunkPacker(std::uint32_t headerSize) : m_headerSize(headerSize) {}

    struct Chunk {
        std::vector<std::uint8_t> entries;
        std::vector<std::uint16_t> entryOffsets; // relative to the first entry
        std::size_t firstEntry = 0;              // index in the caller's list
    };

    void add(const std::vector<std::uint8_t>& entry, std::size_t index) {
        if (m_chunks.empty() || !fits(m_chunks.back(), entry.size())) {
            m_chunks.push_back({});
            m_chunks.back().firstEntry = index;
        }
        Chunk& chunk = m_chunks.back();
        chunk.entryOffsets.push_back(static_cast<std::uint16_t>(chunk.entries.size()));
        chunk.entries.insert(chunk.entries.end(), entry.begin(), entry.end());
    }

    const std::vector<Chunk>& chunks() const { return m_chunks; }

    // Entries, the free-space DWORD, quickrefs and count into the zero-filled chunk at `at`;
    // the rest of the header is the caller's.
    void render(const Chunk& chunk, std::vector<std::uint8_t>& out, std::size_t at) const {
        const auto end = static_cast<std::uint32_t>(m_headerSize + chunk.entries.size());
        patchU32(out, at + pmgl::kFreeSpace, kChunkSize - end);
        std::copy(chunk.entries.begin(), chunk.entries.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(at + m_headerSize));
        const auto count = static_cast<std::uint16_t>(chunk.entryOffsets.size());
        patchU16(out, at + kChunkSize - 2, count);
        for (std::uint32_t m = 1; m * kQuickRefStep < count; ++m) {
            patchU16(out, at + kChunkSize - 2 - 2 * m, chunk.entryOffsets[m * kQuickRefStep]);
        }
    }

private:
    bool fits(const Chunk& chunk, std::size_t entrySize) const {
        const std::size_t count = chunk.entryOffsets.size() + 1;
        const std::size_t quickRefWords = (count + kQuickRefStep - 1) / kQuickRefStep;
        return m_headerSize + chunk.entries.size() + entrySize + 2 + 2 * quickRefWords <=
               kChunkSize;
    }

    std::uint32_t m_headerSize;
    std::vector<Chunk> m_chunks;
};

} // namespace

bool foldedLess(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<unsigned char>(x + 32);
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<unsigned char>(y + 32);
        }
        if (x != y) {
            return x < y;
        }
    }
    return a.size() < b.size();
}

std::string foldAscii(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return folded;
}

void appendEncInt(std::vector<std::uint8_t>& out, std::uint64_t value) {
    std::uint8_t groups[10];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) {
        out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    }
    out.push_back(groups[0]);
}

Directory buildDirectory(const std::vector<DirectoryEntry>& entries) {
    Directory dir;

    ChunkPacker listing(pmgl::kHeaderSize);
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const DirectoryEntry& e = entries[i];
        bytes.clear();
        appendEncInt(bytes, e.name.size());
        bytes.insert(bytes.end(), e.name.begin(), e.name.end());
        appendEncInt(bytes, e.section);
        appendEncInt(bytes, e.offset);
        appendEncInt(bytes, e.length);
        listing.add(bytes, i);
    }

    // Index levels, bottom up, until one chunk covers everything below it. Each level lists the
    // first name of every chunk in the level beneath.
    struct Level {
        ChunkPacker packer{pmgi::kHeaderSize};
        std::uint32_t firstChunk = 0;
    };
    std::vector<Level> levels;
    const auto listingCount = static_cast<std::uint32_t>(listing.chunks().size());
    std::uint32_t nextChunk = listingCount;
    std::vector<std::string> belowNames;
    std::uint32_t belowFirst = 0;
    for (const auto& chunk : listing.chunks()) {
        belowNames.push_back(entries[chunk.firstEntry].name);
    }
    while (belowNames.size() > 1) {
        Level& level = levels.emplace_back();
        level.firstChunk = nextChunk;
        for (std::size_t i = 0; i < belowNames.size(); ++i) {
            bytes.clear();
            appendEncInt(bytes, belowNames[i].size());
            bytes.insert(bytes.end(), belowNames[i].begin(), belowNames[i].end());
            appendEncInt(bytes, belowFirst + i);
            level.packer.add(bytes, i);
        }
        std::vector<std::string> names;
        for (const auto& chunk : level.packer.chunks()) {
            names.push_back(belowNames[chunk.firstEntry]);
        }
        belowFirst = nextChunk;
        nextChunk += static_cast<std::uint32_t>(level.packer.chunks().size());
        belowNames = std::move(names);
    }

    dir.chunkCount = nextChunk;
    dir.lastListingChunk = listingCount - 1;
    dir.indexDepth = 1 + static_cast<std::uint32_t>(levels.size());
    dir.indexRoot = levels.empty() ? kNoChunk : nextChunk - 1;
    dir.chunks.assign(std::size_t{dir.chunkCount} * kChunkSize, 0);

    for (std::uint32_t k = 0; k < listingCount; ++k) {
        const std::size_t at = std::size_t{k} * kChunkSize;
        listing.render(listing.chunks()[k], dir.chunks, at);
        std::copy_n("PMGL", 4, dir.chunks.begin() + static_cast<std::ptrdiff_t>(at));
        patchU32(dir.chunks, at + pmgl::kPrevious, k == 0 ? kNoChunk : k - 1);
        patchU32(dir.chunks, at + pmgl::kNext, k + 1 == listingCount ? kNoChunk : k + 1);
    }
    for (const Level& level : levels) {
        const auto& chunks = level.packer.chunks();
        for (std::size_t k = 0; k < chunks.size(); ++k) {
            const std::size_t at = (level.firstChunk + k) * kChunkSize;
            level.packer.render(chunks[k], dir.chunks, at);
            std::copy_n("PMGI", 4, dir.chunks.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    return dir;
}

} // namespace chm::container
