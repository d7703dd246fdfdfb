// Read access to a compiled help file: its directory and the bytes of each stored file.
// libmspack reads the container, our own decoder the LZX section (libmspack's where ours cannot);
// this layer adds size caps, bounds checks and the checks libmspack leaves to its callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace chm {

enum class ReadError {
    Ok,
    CannotOpen, // the file cannot be opened or read at all
    NotChm,     // no ITSF signature, or headers that no help file has
    Corrupt,    // the directory or a compressed span is damaged
    NotFound,   // no stored file of that name
    TooLarge,   // a stored file is bigger than the caller allowed
    PastEnd,    // a stored file reaches past the end of its section
    Aborted,    // the caller's sink refused more bytes
};

// One line of English saying what went wrong, for messages and logs.
const char* readErrorText(ReadError error);

struct ReaderEntry {
    std::string name;     // as stored: "/index.htm", "/#SYSTEM", "::DataSpace/..."
    unsigned section = 0; // 0 stored as is, 1 LZX-compressed
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool nameHasNul = false; // the stored name held a NUL; `name` is cut at it
    std::size_t id = 0;      // position in entries(); used by the archive itself
};

// Called with successive pieces of a file; returning false stops the read (ReadError::Aborted).
using ReaderSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

class ReaderArchive {
public:
    ReaderArchive();
    ~ReaderArchive();
    ReaderArchive(const ReaderArchive&) = delete;
    ReaderArchive& operator=(const ReaderArchive&) = delete;

    ReadError openFile(const std::string& path);
    ReadError openMemory(std::vector<std::uint8_t> bytes);
    void close();
    bool isOpen() const;

    // Every file in directory order, user files first, then the "::" storage files.
    const std::vector<ReaderEntry>& entries() const;
    // Case-insensitive (ASCII) lookup; a leading "/" is optional in `name`.
    const ReaderEntry* find(std::string_view name) const;

    // Reads a whole file. Files longer than maxSize are refused before any work is done.
    ReadError read(const ReaderEntry& entry, std::vector<std::uint8_t>& out, std::uint64_t maxSize);
    ReadError read(std::string_view name, std::vector<std::uint8_t>& out, std::uint64_t maxSize);
    // Streams a file into `sink`. Reading section-1 files in ascending offset order decodes
    // each reset interval once. From the second such read on, the intervals ahead are decoded
    // on other threads.
    ReadError stream(const ReaderEntry& entry, const ReaderSink& sink, std::uint64_t maxSize);

    // Decoding ahead (see stream()) for the help file now open: Auto on machines with more than
    // one core, Always even on one, Never not at all. The bytes read are the same in every mode.
    enum class ReadAhead { Auto, Always, Never };
    void setReadAhead(ReadAhead mode);

    std::uint64_t fileSize() const;
    // Uncompressed length of section 1 as the reset table (or span info) gives it; 0 if unknown.
    std::uint64_t compressedSectionLength() const;

    // Warnings gathered since the last call (libmspack's own and ours).
    std::vector<std::string> takeWarnings();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace chm
