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

#include "container_directory.h"
#include "lzx/encoder.h"

#include <algorithm>
#include <array>
#include <new>
#include <string_view>

namespace chm {
namespace {

using container::DirectoryEntry;

constexpr std::size_t kMaxNameLength = 512;  // chmlib's CHM_MAX_PATHLEN
constexpr std::uint32_t kMaxChunks = 100000; // libmspack refuses more directory chunks
// libmspack ignores a ResetTable over 1,000,000 bytes (and then decodes every file from the start
// of section 1); keep the table under that: 0x28 + 8 * (frames + 1) bytes.
constexpr std::uint64_t kMaxFrames = (1000000 - 0x28) / 8 - 1;

constexpr std::uint32_t kItsfHeaderSize = 0x60;
constexpr std::uint32_t kHeaderSection0Size = 0x18;
constexpr std::uint32_t kItspHeaderSize = 0x54;

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

class Bytes {
public:
    std::vector<std::uint8_t> data;

    void u16(std::uint32_t v) {
        for (int i = 0; i < 2; ++i) {
            data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    void u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    void raw(std::string_view s) { data.insert(data.end(), s.begin(), s.end()); }
    void raw(const std::array<std::uint8_t, 16>& guid) {
        data.insert(data.end(), guid.begin(), guid.end());
    }
    void utf16(std::string_view ascii) {
        for (const char c : ascii) {
            u16(static_cast<std::uint8_t>(c));
        }
    }
};

std::vector<std::uint8_t> nameList() {
    // Section numbers are positions in this list: 0 Uncompressed, 1 MSCompressed.
    Bytes b;
    b.u16(30); // length in WORDs
    b.u16(2);  // names
    for (const std::string_view name : {"Uncompressed", "MSCompressed"}) {
        b.u16(static_cast<std::uint32_t>(name.size()));
        b.utf16(name);
        b.u16(0); // terminator, which 7-Zip checks
    }
    return b.data;
}

std::vector<std::uint8_t> transformList() {
    // Microsoft's compiler writes only the first 19 characters of the transform GUID's string
    // (it sized the file in characters but wrote wide ones); we write the same 38 bytes.
    Bytes b;
    b.utf16("{7FC28940-9D31-11D0");
    return b.data;
}

std::vector<std::uint8_t> spanInfo(std::uint64_t uncompressed) {
    Bytes b;
    b.u64(uncompressed);
    return b.data;
}

std::vector<std::uint8_t> controlData() {
    Bytes b;
    b.u32(6);
    b.raw("LZXC");
    b.u32(2); // version 2: the next two fields count 32 KiB units
    b.u32(lzx::kFramesPerReset);
    b.u32(lzx::kWindowSize / lzx::kFrameSize);
    b.u32(1);
    b.u32(0);
    return b.data;
}

std::vector<std::uint8_t> resetTable(const lzx::CompressedSection& section) {
    Bytes b;
    const auto entries = static_cast<std::uint32_t>(section.frameOffsets.size() + 1);
    b.u32(2);       // version
    b.u32(entries); // one per frame, plus the end of the stream
    b.u32(8);       // entry size
    b.u32(0x28);    // header size
    b.u64(section.uncompressedLength);
    b.u64(section.data.size());
    b.u64(lzx::kFrameSize);
    for (const std::uint64_t offset : section.frameOffsets) {
        b.u64(offset);
    }
    b.u64(section.data.size());
    return b.data;
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

    const std::uint64_t directoryOffset = kItsfHeaderSize + kHeaderSection0Size;
    const std::uint64_t directorySize = kItspHeaderSize + dir.chunks.size();
    const std::uint64_t contentOffset = directoryOffset + directorySize;
    const std::uint64_t fileSize = contentOffset + section0Size;

    Bytes head;
    head.data.reserve(contentOffset);
    // ITSF header.
    head.raw("ITSF");
    head.u32(3);
    head.u32(kItsfHeaderSize);
    head.u32(1);
    head.u32(m_options.timestamp);
    head.u32(m_options.lcid);
    head.raw(kItsfGuid1);
    head.raw(kItsfGuid2);
    head.u64(kItsfHeaderSize);
    head.u64(kHeaderSection0Size);
    head.u64(directoryOffset);
    head.u64(directorySize);
    head.u64(contentOffset);
    // Header section 0.
    head.u32(0x01FE);
    head.u32(0);
    head.u64(fileSize);
    head.u32(0);
    head.u32(0);
    // ITSP directory header.
    head.raw("ITSP");
    head.u32(1);
    head.u32(kItspHeaderSize);
    head.u32(0x0A);
    head.u32(container::kChunkSize);
    head.u32(container::kQuickRefDensity);
    head.u32(dir.indexDepth);
    head.u32(dir.indexRoot);
    head.u32(0); // first listing chunk
    head.u32(dir.lastListingChunk);
    head.u32(container::kNoChunk);
    head.u32(dir.chunkCount);
    head.u32(kItspLcid);
    head.raw(kItspGuid);
    head.u32(kItspHeaderSize);
    head.u32(container::kNoChunk);
    head.u32(container::kNoChunk);
    head.u32(container::kNoChunk);

    out = std::move(head.data);
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
