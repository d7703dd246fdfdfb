// Lays out a .chm: ITSF header, header section 0, the ITSP directory, then content section 0
// (the ::DataSpace files, the caller's section-0 files, and the LZX stream of section 1).
//
// Facts the layout depends on (format notes, sections 1-2): both ITSF GUIDs must be right or
// libmspack refuses the file; the first listing chunk must be chunk 0; the ITSP LCID is 0x409 in
// every file Microsoft's compiler wrote, whatever the project's language; the ResetTable gets one
// entry per 32 KiB frame plus a final one equal to the compressed length, the one layout that
// libmspack, chmlib and 7-Zip all accept for every length; ControlData says window 2, reset
// interval 2 (both in 32 KiB units) and 1 for the field chmlib multiplies its reset count by.
#include "chm/container_writer.h"

#include "byte_writer.h"
#include "container_directory.h"
#include "lzx/encoder.h"

#include <algorithm>
#include <array>
#include <new>
#include <string_view>

namespace chm {
namespace {

using container::DirectoryEntry;
using detail::putBytes;
using detail::putU16;
using detail::putU32;
using detail::putU64;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMaxNameLength = 512;  // chmlib's CHM_MAX_PATHLEN
constexpr std::uint32_t kMaxChunks = 100000; // libmspack refuses more directory chunks
// libmspack ignores a ResetTable over 1,000,000 bytes (and then decodes every file from the start
// of section 1); keep the table under that: 0x28 + 8 * (frames + 1) bytes.
constexpr std::uint64_t kMaxFrames = (1000000 - 0x28) / 8 - 1;

constexpr std::array<std::uint8_t, 16> kItsfGuid1 = {
    0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
constexpr std::array<std::uint8_t, 16> kItsfGuid2 = {
    0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
constexpr std::array<std::uint8_t, 16> kItspGuid = {0x6A, 0x92, 0x02, 0x5D, 0x2E, 0x21, 0xD0, 0x11,
                                                    0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
constexpr std::uint32_t kItspLcid = 0x0409;

constexpr std::string_view kNameList = "::DataSpace/NameList";
constexpr std::string_view kTransformList = "::DataSpace/Storage/MSCompressed/Transform/List";
constexpr std::string_view kSpanInfo = "::DataSpace/Storage/MSCompressed/SpanInfo";
constexpr std::string_view kControlData = "::DataSpace/Storage/MSCompressed/ControlData";
constexpr std::string_view kInstanceData = "::DataSpace/Storage/MSCompressed/Transform/"
                                           "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/";
constexpr std::string_view kResetTable = "::DataSpace/Storage/MSCompressed/Transform/"
                                         "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/"
                                         "ResetTable";
constexpr std::string_view kContent = "::DataSpace/Storage/MSCompressed/Content";
constexpr std::string_view kItbits = "/#ITBITS";

void putGuid(Bytes& out, const std::array<std::uint8_t, 16>& guid) {
    out.insert(out.end(), guid.begin(), guid.end());
}

// An ASCII name as UTF-16LE, without a terminator.
void putUtf16(Bytes& out, std::string_view ascii) {
    for (const char c : ascii)
        putU16(out, static_cast<std::uint8_t>(c));
}

Bytes nameList() {
    // Section numbers are positions in this list: 0 Uncompressed, 1 MSCompressed.
    Bytes b;
    putU16(b, 30); // length in WORDs
    putU16(b, 2);  // names
    for (const std::string_view name : {"Uncompressed", "MSCompressed"}) {
        putU16(b, static_cast<std::uint16_t>(name.size()));
        putUtf16(b, name);
        putU16(b, 0); // terminator, which 7-Zip checks
    }
    return b;
}

Bytes transformList() {
    // Microsoft's compiler writes only the first 19 characters of the transform GUID's string
    // (it sized the file in characters but wrote wide ones); we write the same 38 bytes.
    Bytes b;
    putUtf16(b, "{7FC28940-9D31-11D0");
    return b;
}

Bytes spanInfo(std::uint64_t uncompressed) {
    Bytes b;
    putU64(b, uncompressed);
    return b;
}

Bytes controlData() {
    Bytes b;
    putU32(b, lzxc::kWords);
    putBytes(b, "LZXC");
    putU32(b, lzxc::kVersion);
    putU32(b, lzx::kFramesPerReset);
    putU32(b, lzx::kWindowSize / lzx::kFrameSize);
    putU32(b, 1);
    putU32(b, 0);
    return b;
}

Bytes resetTable(const lzx::CompressedSection& section) {
    Bytes b;
    putU32(b, reset_table::kVersion);
    // One entry per frame, plus the end of the stream.
    putU32(b, static_cast<std::uint32_t>(section.frameOffsets.size() + 1));
    putU32(b, reset_table::kEntrySize);
    putU32(b, reset_table::kHeaderSize);
    putU64(b, section.uncompressedLength);
    putU64(b, section.data.size());
    putU64(b, lzx::kFrameSize);
    for (const std::uint64_t offset : section.frameOffsets)
        putU64(b, offset);
    putU64(b, section.data.size());
    return b;
}

bool validName(std::string_view name) {
    if (name.size() < 2 || name.size() > kMaxNameLength || name.front() != '/' ||
        name.back() == '/' || name.find('\0') != std::string_view::npos) {
        return false;
    }
    std::size_t start = 1;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string_view::npos) {
            end = name.size();
        }
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

} // namespace

ContainerWriter::ContainerWriter(ContainerOptions options) : m_options(options) {}

WriteError ContainerWriter::addFile(std::string name, std::vector<std::uint8_t> data,
                                    Section section) {
    return takeFile(std::move(name), data, section);
}

WriteError ContainerWriter::takeFile(std::string name, std::vector<std::uint8_t>& data,
                                     Section section) {
    if (!validName(name)) {
        return WriteError::BadName;
    }
    if (!m_foldedNames.insert(container::foldAscii(name)).second) {
        return WriteError::DuplicateName;
    }
    m_files.push_back({std::move(name), std::move(data), section});
    return WriteError::None;
}

WriteError ContainerWriter::addLateFile(std::string name,
                                        std::function<std::vector<std::uint8_t>()> make) {
    if (!validName(name)) {
        return WriteError::BadName;
    }
    if (m_makeLate || !m_foldedNames.insert(container::foldAscii(name)).second) {
        return WriteError::DuplicateName;
    }
    m_lateName = std::move(name);
    m_makeLate = std::move(make);
    return WriteError::None;
}

WriteError ContainerWriter::build(std::vector<std::uint8_t>& out) const {
    // Running out of memory is the one failure the parts below can throw; it stays inside.
    try {
        return buildImage(out);
    } catch (const std::bad_alloc&) {
        out.clear();
        out.shrink_to_fit();
        return WriteError::TooLarge;
    }
}

WriteError ContainerWriter::buildImage(std::vector<std::uint8_t>& out) const {
    out.clear();
    std::vector<DirectoryEntry> entries;

    // Section 1: the compressed files back to back, in the order they were added. Empty files
    // get offset 0, as Microsoft's compiler gives them.
    std::uint64_t section1Size = 0;
    for (const File& f : m_files) {
        if (f.section == Section::Compressed) {
            section1Size += f.data.size();
        }
    }
    if ((section1Size + lzx::kFrameSize - 1) / lzx::kFrameSize > kMaxFrames) {
        return WriteError::TooLarge;
    }
    // The files are compressed where they lie: a joined copy of section 1 would double the
    // compiler's peak memory.
    std::vector<std::span<const std::uint8_t>> section1;
    std::uint64_t offset = 0;
    for (const File& f : m_files) {
        if (f.section == Section::Compressed) {
            entries.push_back({f.name, 1, f.data.empty() ? 0 : offset, f.data.size()});
            section1.emplace_back(f.data);
            offset += f.data.size();
        }
    }
    const std::span<const std::span<const std::uint8_t>> pieces(section1);
    lzx::CompressedSection compressed;
    if (m_makeLate) {
        // The late file is made while the files before it are compressed.
        std::vector<std::uint8_t> late;
        compressed = lzx::compress(pieces,
                                   [&] {
                                       late = m_makeLate();
                                       return std::span<const std::uint8_t>(late);
                                   },
                                   {m_options.threads});
        if ((compressed.uncompressedLength + lzx::kFrameSize - 1) / lzx::kFrameSize > kMaxFrames) {
            return WriteError::TooLarge;
        }
        entries.push_back({m_lateName, 1, late.empty() ? 0 : offset, late.size()});
    } else {
        compressed = lzx::compress(pieces, {m_options.threads});
    }

    // Section 0, in the order Microsoft's compiler writes it.
    std::vector<std::vector<std::uint8_t>> storage;
    storage.push_back(nameList());
    storage.push_back(transformList());
    storage.push_back(spanInfo(compressed.uncompressedLength));
    storage.push_back(controlData());
    storage.push_back(resetTable(compressed));
    const std::string_view storageNames[] = {kNameList, kTransformList, kSpanInfo, kControlData,
                                             kResetTable};
    std::uint64_t section0Size = 0;
    for (std::size_t i = 0; i < storage.size(); ++i) {
        entries.push_back({std::string(storageNames[i]), 0, section0Size, storage[i].size()});
        section0Size += storage[i].size();
    }
    std::vector<const File*> section0Files;
    bool haveItbits = false;
    for (const File& f : m_files) {
        if (f.section == Section::Uncompressed) {
            entries.push_back({f.name, 0, f.data.empty() ? 0 : section0Size, f.data.size()});
            section0Size += f.data.size();
            section0Files.push_back(&f);
            haveItbits = haveItbits || container::foldAscii(f.name) == "/#itbits";
        }
    }
    if (!haveItbits) {
        entries.push_back({std::string(kItbits), 0, 0, 0});
    }
    entries.push_back({std::string(kContent), 0, section0Size, compressed.data.size()});
    section0Size += compressed.data.size();
    entries.push_back({std::string(kInstanceData), 0, 0, 0});

    // A directory entry for "/" and every folder, spelled as the first file in it spells it.
    std::set<std::string> folders{"/"};
    entries.push_back({"/", 0, 0, 0});
    std::vector<std::string_view> names;
    for (const File& f : m_files) {
        names.push_back(f.name);
    }
    if (m_makeLate) {
        names.push_back(m_lateName);
    }
    for (const std::string_view name : names) {
        for (std::size_t slash = name.find('/', 1); slash != std::string::npos;
             slash = name.find('/', slash + 1)) {
            std::string folder(name.substr(0, slash + 1));
            if (folders.insert(container::foldAscii(folder)).second) {
                entries.push_back({std::move(folder), 0, 0, 0});
            }
        }
    }
    std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        return container::foldedLess(a.name, b.name);
    });

    const container::Directory dir = container::buildDirectory(entries);
    if (dir.chunkCount > kMaxChunks) {
        return WriteError::TooLarge;
    }

    const std::uint64_t directoryOffset = itsf::kHeaderSize + header_section0::kSize;
    const std::uint64_t directorySize = itsp::kHeaderSize + dir.chunks.size();
    const std::uint64_t contentOffset = directoryOffset + directorySize;
    const std::uint64_t fileSize = contentOffset + section0Size;

    Bytes head;
    head.reserve(contentOffset);
    putBytes(head, "ITSF");
    putU32(head, itsf::kVersion);
    putU32(head, itsf::kHeaderSize);
    putU32(head, 1);
    putU32(head, m_options.timestamp);
    putU32(head, m_options.lcid);
    putGuid(head, kItsfGuid1);
    putGuid(head, kItsfGuid2);
    putU64(head, itsf::kHeaderSize);
    putU64(head, header_section0::kSize);
    putU64(head, directoryOffset);
    putU64(head, directorySize);
    putU64(head, contentOffset);

    putU32(head, header_section0::kMagic);
    putU32(head, 0);
    putU64(head, fileSize);
    putU32(head, 0);
    putU32(head, 0);

    putBytes(head, "ITSP");
    putU32(head, itsp::kVersion);
    putU32(head, itsp::kHeaderSize);
    putU32(head, 0x0A);
    putU32(head, container::kChunkSize);
    putU32(head, container::kQuickRefDensity);
    putU32(head, dir.indexDepth);
    putU32(head, dir.indexRoot);
    putU32(head, 0); // first listing chunk
    putU32(head, dir.lastListingChunk);
    putU32(head, kNoChunk);
    putU32(head, dir.chunkCount);
    putU32(head, kItspLcid);
    putGuid(head, kItspGuid);
    putU32(head, itsp::kHeaderSize);
    putU32(head, kNoChunk);
    putU32(head, kNoChunk);
    putU32(head, kNoChunk);

    out = std::move(head);
    out.reserve(fileSize);
    out.insert(out.end(), dir.chunks.begin(), dir.chunks.end());
    for (const auto& file : storage) {
        out.insert(out.end(), file.begin(), file.end());
    }
    for (const File* f : section0Files) {
        out.insert(out.end(), f->data.begin(), f->data.end());
    }
    out.insert(out.end(), compressed.data.begin(), compressed.data.end());
    return WriteError::None;
}

} // namespace chm
