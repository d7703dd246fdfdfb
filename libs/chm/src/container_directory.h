// The CHM directory: sorted entries packed into PMGL listing chunks, with PMGI index chunks above
// them when there is more than one listing chunk.
#pragma once

#include "chm/container_format.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace chm::container {

inline constexpr std::uint32_t kChunkSize = 0x1000;
inline constexpr std::uint32_t kQuickRefDensity = 2; // a quickref word every 1 + 2^2 entries

struct DirectoryEntry {
    std::string name;
    std::uint64_t section = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// The order every reader's lookup relies on: bytes compared after ASCII lowercasing.
bool foldedLess(std::string_view a, std::string_view b);
std::string foldAscii(std::string_view name);

// ENCINT: 7 bits a byte, most significant group first, bit 7 set on all but the last byte.
void appendEncInt(std::vector<std::uint8_t>& out, std::uint64_t value);

struct Directory {
    std::vector<std::uint8_t> chunks; // chunkCount * kChunkSize bytes
    std::uint32_t chunkCount = 0;
    std::uint32_t lastListingChunk = 0;
    std::uint32_t indexRoot = kNoChunk; // kNoChunk when there is a single listing chunk
    std::uint32_t indexDepth = 1;       // 1 = listing chunks only, 2 = one level of PMGI, ...
};

// entries must be sorted by foldedLess and each must fit in a chunk on its own.
Directory buildDirectory(const std::vector<DirectoryEntry>& entries);

} // namespace chm::container
