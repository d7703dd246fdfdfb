// Offsets and sizes of the full-text index $FIftiMain, shared by its writer and its reader.
// The file opens with a header of kHeaderSize bytes; word-location data and nodes follow.
#pragma once

#include <cstddef>
#include <cstdint>

namespace chm::fts {

inline constexpr std::size_t kHeaderSize = 0x400;

// Header fields. Counts and offsets are DWORDs unless said otherwise.
inline constexpr std::size_t kSignature = 0x00;      // 00 00 28 00
inline constexpr std::uint8_t kSignatureByte = 0x28; // at offset 2; the other three are 0
inline constexpr std::size_t kDocumentCount = 0x04;
inline constexpr std::size_t kRootNode = 0x08;
inline constexpr std::size_t kLeafCount = 0x10;
inline constexpr std::size_t kRootNodeAgain = 0x14;
inline constexpr std::size_t kDepth = 0x18;     // WORD: 1 when the root is a leaf
inline constexpr std::size_t kUnknown1A = 0x1A; // always 7
// Three (scale, root) byte pairs: topic numbers, place counts, places.
inline constexpr std::size_t kCodes = 0x1E;
inline constexpr std::size_t kNodeSize = 0x2E;
inline constexpr std::size_t kUnknown32 = 0x32; // 0 or 1
inline constexpr std::size_t kLongestWord = 0x3E;
inline constexpr std::size_t kTotalWords = 0x42;
inline constexpr std::size_t kDistinctWords = 0x46;
inline constexpr std::size_t kTotalWordLength = 0x4A;
inline constexpr std::size_t kDistinctWordLength = 0x52;
inline constexpr std::size_t kUnusedNodeBytes = 0x56;
inline constexpr std::size_t kLastDocument = 0x5E;
inline constexpr std::size_t kCodePage = 0x7A;
inline constexpr std::size_t kLcid = 0x7E;

// Readers know only the scale 2 code.
inline constexpr std::uint8_t kScale = 2;

// Leaf node: next leaf's offset (0 for the last), a WORD 0, the WORD of free bytes at the end,
// then entries. Index node: the WORD of free bytes, then entries.
inline constexpr std::size_t kLeafNext = 0x00;
inline constexpr std::size_t kLeafFree = 0x06;
inline constexpr std::size_t kLeafHeaderSize = 8;
inline constexpr std::size_t kIndexFree = 0x00;
inline constexpr std::size_t kIndexHeaderSize = 2;

// An entry begins with the length of its own bytes + 1 and the count of bytes shared with the
// entry before it; a leaf entry then holds the context byte, a varint topic count, the DWORD
// offset of its location data, a WORD 0 and the varint length of that data. An index entry
// holds the DWORD offset of the node below and a WORD 0.
inline constexpr std::size_t kEntryPrefix = 2;
inline constexpr std::size_t kDataOffsetSize = 6; // the DWORD and the WORD 0

} // namespace chm::fts
