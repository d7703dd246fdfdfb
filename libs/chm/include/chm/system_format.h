// Offsets, sizes and record codes of the internal files a viewer reads besides the pages
// (#SYSTEM, #WINDOWS, #STRINGS, #TOPICS, #URLTBL, #URLSTR, #IVB, #IDXHDR), shared by the
// writer that lays them out and the reader that takes them apart. All numbers are little-endian;
// "string offset" means a byte offset into #STRINGS, 0 for none.
#pragma once

#include <cstddef>
#include <cstdint>

namespace chm {

// The tables that hold strings (#STRINGS, #URLSTR, #URLTBL) are read in 4096-byte blocks: no
// string or record may run across a block boundary.
inline constexpr std::size_t kTableBlockSize = 4096;

// A DWORD property or string offset that is not set (#TOPICS titles, #IDXHDR properties).
inline constexpr std::uint32_t kNotSet = 0xFFFFFFFF;

// #SYSTEM: a DWORD version (3 "1.1 or later", 2 "1.0"), then records to the end of the file:
// WORD code, WORD length, data. String records hold a NUL-terminated string.
namespace system_file {
inline constexpr std::size_t kRecordHeaderSize = 4;
inline constexpr std::uint32_t kVersion = 3;
inline constexpr std::uint32_t kVersion10 = 2;
} // namespace system_file

enum class SystemCode : std::uint16_t {
    ContentsFile = 0,
    IndexFile = 1,
    DefaultTopic = 2,
    Title = 3,
    Language = 4, // the language record below
    DefaultWindow = 5,
    CompiledFile = 6, // lower-cased stem of the compiled file
    IndexHash = 7,    // #URLTBL hash of the index file's name, with a binary index
    CompilerVersion = 9,
    CompileTime = 10,
    BinaryToc = 11,
    InfoTypeCount = 12,
    IndexHeaderCopy = 13, // a copy of #IDXHDR
    InfoTypeChecksum = 15,
    DefaultFont = 16, // "face,size,charset"
};

// #SYSTEM code 4, 36 bytes.
namespace language_record {
inline constexpr std::size_t kLcid = 0x00;
inline constexpr std::size_t kDbcs = 0x04;
inline constexpr std::size_t kFullTextSearch = 0x08;
inline constexpr std::size_t kKeywordLinks = 0x0C;
inline constexpr std::size_t kAssociativeLinks = 0x10;
inline constexpr std::size_t kFileTime = 0x14; // 8 bytes
inline constexpr std::size_t kSize = 36;
} // namespace language_record

// #WINDOWS: a DWORD entry count and a DWORD entry size, then the entries: the viewer's 32-bit
// window-type structure with each text replaced by its string offset.
namespace windows_file {
inline constexpr std::size_t kCount = 0x00;
inline constexpr std::size_t kEntrySize = 0x04;
inline constexpr std::size_t kHeaderSize = 8;
} // namespace windows_file

namespace window_entry {
inline constexpr std::uint32_t kSize = 196;   // "1.1 or later": ends with info types, custom tabs
inline constexpr std::uint32_t kSize10 = 188; // "1.0"
inline constexpr std::size_t kStructSize = 0x00;
inline constexpr std::size_t kUnicodeStrings = 0x04;
inline constexpr std::size_t kType = 0x08; // string: the window's name
inline constexpr std::size_t kValidMembers = 0x0C;
inline constexpr std::size_t kProperties = 0x10;
inline constexpr std::size_t kCaption = 0x14; // string
inline constexpr std::size_t kStyles = 0x18;
inline constexpr std::size_t kExStyles = 0x1C;
inline constexpr std::size_t kPosition = 0x20; // left, top, right, bottom
inline constexpr std::size_t kShowState = 0x30;
inline constexpr std::size_t kRunTimeHandles = 0x34; // 6 DWORDs, 0 in a file
inline constexpr std::size_t kNavWidth = 0x4C;
inline constexpr std::size_t kHtmlPane = 0x50; // 4 DWORDs, 0 in a file
inline constexpr std::size_t kToc = 0x60;      // string
inline constexpr std::size_t kIndex = 0x64;    // string
inline constexpr std::size_t kFile = 0x68;     // string: the page shown first
inline constexpr std::size_t kHome = 0x6C;     // string
inline constexpr std::size_t kButtons = 0x70;
inline constexpr std::size_t kNavClosed = 0x74;
inline constexpr std::size_t kDefaultTab = 0x78;
inline constexpr std::size_t kTabPosition = 0x7C;
inline constexpr std::size_t kNotifyId = 0x80;
inline constexpr std::size_t kTabOrder = 0x84; // 20 bytes
inline constexpr std::size_t kHistoryCount = 0x98;
inline constexpr std::size_t kJump1Text = 0x9C; // string
inline constexpr std::size_t kJump2Text = 0xA0; // string
inline constexpr std::size_t kJump1Url = 0xA4;  // string
inline constexpr std::size_t kJump2Url = 0xA8;  // string
inline constexpr std::size_t kMinSize = 0xAC;   // 4 DWORDs
} // namespace window_entry

// The entry's valid-members bits: which numeric groups of a [WINDOWS] line were given.
namespace window_valid {
inline constexpr std::uint32_t kProperties = 0x2;
inline constexpr std::uint32_t kStyles = 0x4;
inline constexpr std::uint32_t kExStyles = 0x8;
inline constexpr std::uint32_t kPosition = 0x10;
inline constexpr std::uint32_t kNavWidth = 0x20;
inline constexpr std::uint32_t kShowState = 0x40;
inline constexpr std::uint32_t kButtons = 0x100;
inline constexpr std::uint32_t kNavClosed = 0x200;
inline constexpr std::uint32_t kTabPosition = 0x400;
inline constexpr std::uint32_t kDefaultTab = 0x2000;
} // namespace window_valid

// #TOPICS: one 16-byte entry per topic.
namespace topic_entry {
inline constexpr std::size_t kContentsOffset = 0x00; // its place in a binary contents file
inline constexpr std::size_t kTitle = 0x04;          // string offset, kNotSet for none
inline constexpr std::size_t kUrlTableOffset = 0x08;
inline constexpr std::size_t kFlags = 0x0C; // WORD, then a WORD 0
inline constexpr std::size_t kSize = 16;
inline constexpr std::uint16_t kIsFile = 0x2;     // a stored file, not a page#anchor target
inline constexpr std::uint16_t kInContents = 0x4; // listed in the contents
} // namespace topic_entry

// #URLTBL: 12-byte records sorted by URL hash, 341 to a 4096-byte block; a full block that
// another follows ends with kBlockEndMark.
namespace url_table {
inline constexpr std::size_t kHash = 0x00;
inline constexpr std::size_t kTopic = 0x04;
inline constexpr std::size_t kUrlStringOffset = 0x08;
inline constexpr std::size_t kRecordSize = 12;
inline constexpr std::size_t kRecordsPerBlock = 341;
inline constexpr std::uint32_t kBlockEndMark = 0x1000;
} // namespace url_table

// #URLSTR: a filler byte, then per topic two DWORDs (external URL, frame name; both 0) and the
// NUL-terminated URL.
namespace url_string {
inline constexpr std::size_t kUrl = 8;
} // namespace url_string

// #IVB: the byte length of the pairs that follow, then (context number, string offset of the
// file) pairs.
namespace context_ids {
inline constexpr std::size_t kLength = 0x00;
inline constexpr std::size_t kPairs = 0x04;
inline constexpr std::size_t kPairSize = 8;
} // namespace context_ids

// #IDXHDR, which #SYSTEM code 13 repeats: always 4096 bytes.
namespace index_header {
inline constexpr std::size_t kSize = 4096;
inline constexpr std::size_t kTopicCount = 0x0C;
inline constexpr std::size_t kMergeFileCount = 0x48;
inline constexpr std::size_t kMergeFiles = 0x50; // string offsets to the end
} // namespace index_header

} // namespace chm
