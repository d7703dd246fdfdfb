// The ITSF container of a .chm: directory (ITSP, PMGL/PMGI chunks), section 0 with the
// ::DataSpace storage files, and section 1 compressed with LZX.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace chm {

enum class Section { Uncompressed = 0, Compressed = 1 };

struct ContainerOptions {
    std::uint32_t lcid = 0x0409; // written to the ITSF header (the viewer uses #SYSTEM's)
    // The ITSF header's timestamp-like DWORD, which no reader uses; 0 keeps builds reproducible.
    std::uint32_t timestamp = 0;
    unsigned threads = 0; // LZX threads, 0 = all cores
};

enum class WriteError {
    None,
    DuplicateName, // the name equals an earlier one, ignoring ASCII case
    BadName,       // not "/...", an empty, "." or ".." component, a trailing "/", a NUL byte,
                   // or longer than 512 bytes (chmlib's limit)
    TooLarge,      // more directory chunks, or a longer section 1, than readers accept, or more
                   // than fits in memory
};

class ContainerWriter {
public:
    explicit ContainerWriter(ContainerOptions options = {});

    // name is the internal name: "/" + path with "/" separators ("/index.htm", "/img/a.gif",
    // "/#SYSTEM"). Section-1 files are laid out in the order they were added, section-0 files
    // likewise (after the ::DataSpace files, before Content). Names are unique
    // case-insensitively. Directory entries ("/", "/img/") are made by build(), and so is an
    // empty "/#ITBITS" in section 0 unless one was added.
    WriteError addFile(std::string name, std::vector<std::uint8_t> data, Section section);

    // The same, but data is moved in only when the file is stored; on an error it is left as
    // it was.
    WriteError takeFile(std::string name, std::vector<std::uint8_t>& data, Section section);

    // A section-1 file whose bytes are made while build() compresses the files before it: it
    // comes after every other section-1 file, and make runs once per build(), on the thread
    // that calls build(), while other threads compress. There is at most one such file; a
    // second is refused as DuplicateName. Whatever make throws, build() passes on, except
    // running out of memory, which is TooLarge.
    WriteError addLateFile(std::string name, std::function<std::vector<std::uint8_t>()> make);

    // Builds the complete .chm image into out (replaced). The same files in the same order give
    // the same bytes, whatever the thread count.
    WriteError build(std::vector<std::uint8_t>& out) const;

private:
    WriteError buildImage(std::vector<std::uint8_t>& out) const;

    struct File {
        std::string name;
        std::vector<std::uint8_t> data;
        Section section;
    };
    ContainerOptions m_options;
    std::vector<File> m_files;
    std::string m_lateName;
    std::function<std::vector<std::uint8_t>()> m_makeLate;
    std::set<std::string> m_foldedNames; // ASCII-lowercased names, for the duplicate check
};

} // namespace chm
