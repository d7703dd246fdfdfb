// Offsets, sizes and signatures of the container: the ITSF header, header section 0, the ITSP
// directory header, PMGL listing and PMGI index chunks, and the ::DataSpace storage files
// (ControlData with its LZXC signature, the ResetTable). Numbers are little-endian; names in
// the directory are ENCINTs followed by their bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace chm {

namespace itsf {
inline constexpr std::uint32_t kVersion = 3;
inline constexpr std::uint32_t kHeaderSize = 0x60;
inline constexpr std::size_t kSignature = 0x00; // "ITSF"
inline constexpr std::size_t kVersionField = 0x04;
inline constexpr std::size_t kHeaderSizeField = 0x08;
inline constexpr std::size_t kTimestamp = 0x10;
inline constexpr std::size_t kLcid = 0x14;
inline constexpr std::size_t kGuid1 = 0x18;
inline constexpr std::size_t kGuid2 = 0x28;
inline constexpr std::size_t kSection0Offset = 0x38;  // QWORD, then its QWORD size
inline constexpr std::size_t kDirectoryOffset = 0x48; // QWORD, then its QWORD size
inline constexpr std::size_t kContentOffset = 0x58;   // QWORD: content section 0
} // namespace itsf

// Header section 0, right after the ITSF header.
namespace header_section0 {
inline constexpr std::uint32_t kSize = 0x18;
inline constexpr std::uint32_t kMagic = 0x01FE;
inline constexpr std::size_t kFileSize = 0x08; // QWORD
} // namespace header_section0

// The directory header, followed by its chunks.
namespace itsp {
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::uint32_t kHeaderSize = 0x54;
inline constexpr std::size_t kChunkSize = 0x10;
inline constexpr std::size_t kQuickRefDensity = 0x14;
inline constexpr std::size_t kIndexDepth = 0x18; // 1: listing chunks only
inline constexpr std::size_t kIndexRoot = 0x1C;  // kNoChunk without index chunks
inline constexpr std::size_t kFirstListing = 0x20;
inline constexpr std::size_t kLastListing = 0x24;
inline constexpr std::size_t kChunkCount = 0x2C;
inline constexpr std::size_t kLcid = 0x30;
} // namespace itsp

inline constexpr std::uint32_t kNoChunk = 0xFFFFFFFF;

// A chunk holds entries from its header on and, growing down from its end, a WORD entry count
// and a quickref WORD for every (1 + 2^density)th entry: the offset of entry m * step, relative
// to the first entry, at chunk end - 2 - 2m. The free-space DWORD counts everything after the
// last entry, quickrefs included.
namespace pmgl {
inline constexpr std::size_t kFreeSpace = 0x04;
inline constexpr std::size_t kPrevious = 0x0C; // kNoChunk for the first
inline constexpr std::size_t kNext = 0x10;     // kNoChunk for the last
inline constexpr std::uint32_t kHeaderSize = 0x14;
} // namespace pmgl

namespace pmgi {
inline constexpr std::size_t kFreeSpace = 0x04;
inline constexpr std::uint32_t kHeaderSize = 0x08;
} // namespace pmgi

// ::DataSpace/Storage/MSCompressed/ControlData.
namespace lzxc {
inline constexpr std::uint32_t kWords = 6;      // DWORDs that follow the first
inline constexpr std::size_t kSignature = 0x04; // "LZXC"
inline constexpr std::uint32_t kVersion = 2;    // reset interval and window in 32 KiB units
} // namespace lzxc

// ::DataSpace/.../InstanceData/ResetTable: a header, then a QWORD compressed offset per frame.
namespace reset_table {
inline constexpr std::uint32_t kVersion = 2;
inline constexpr std::uint32_t kEntrySize = 8;
inline constexpr std::uint32_t kHeaderSize = 0x28;
inline constexpr std::size_t kEntryCount = 0x04;
inline constexpr std::size_t kUncompressedLength = 0x10; // QWORD
inline constexpr std::size_t kCompressedLength = 0x18;   // QWORD
inline constexpr std::size_t kFrameSize = 0x20;          // QWORD
} // namespace reset_table

} // namespace chm
