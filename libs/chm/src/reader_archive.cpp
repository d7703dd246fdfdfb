// Reading a help file. libmspack reads the container (its directory and section 0) through a
// table of I/O callbacks (mspack_system); ours reads the help file from disk or memory, sends
// extracted bytes to the caller's sink instead of a file, caps allocations and collects
// messages. Section 1, the LZX-compressed files, is decoded by our own decoder (lzx::Decoder)
// one reset interval at a time, which the ResetTable makes possible: it gives where every
// interval's bits start, and each interval decodes on its own. That is what lets the intervals
// ahead of a reader be decoded on other cores. A help file without a usable ResetTable is
// decoded by libmspack from start to end; so is a file that lies in an interval our decoder
// refuses (damaged, or leaning on the interval before, which no compiler we know of writes).
//
// What libmspack does not check for us, and this file does:
// - a stored file's offset and length against the section that holds it (a lying directory
//   entry would otherwise have the decoder run on until the input gives out);
// - the size the caller is ready to take, before any decoding starts;
// - names with a NUL inside: libmspack copies the name and cuts it at the first NUL, so we
//   walk the listing chunks ourselves to find such names and flag the entries they became.
#include "chm/reader_archive.h"

#include "chm/container_format.h"
#include "lzx/decoder.h"
#include "text/ascii.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mspack.h>
#include <mutex>
#include <new>
#include <thread>
#include <unistd.h>

namespace chm {

namespace {

// libmspack allocates from header fields (chunk size, reset table length). Nothing it
// legitimately needs comes close to this; a lying header must not make us take gigabytes.
constexpr std::size_t kMaxAllocation = 64u * 1024u * 1024u;
constexpr std::size_t kMaxWarnings = 200;
constexpr const char* kMemoryName = "<memory>";

// ---------------------------------------------------------------------------------------------
// Decoding ahead
//
// Read-ahead starts on the second section-1 read in a row that does not go backwards: a viewer
// that opens one page decodes only what it asks for, a reader walking the files in stored order
// gets the intervals ahead of it decoded on every core while it writes. The unit of work is
// kIntervalsPerUnit reset intervals (64 KiB each in every help file seen): starting a unit costs
// our decoder nothing, and small units keep the reading thread from waiting long on another's.
// kReadAheadBytes bounds the decoded bytes held at once: enough to keep the decoders ahead of
// the writing, and every further megabyte is fresh memory the kernel must hand over page by
// page (measured: 2 and 16 MiB made extracting slower, not faster). A file that needs more than
// that is read the plain way.
// The reading thread keeps a core for writing out files (about a third of the work of
// extracting a help file), so one decoder thread runs per further core, at most
// kMaxReadAheadThreads. When the reading thread would wait for a unit nobody has started, it
// decodes that unit itself; when another thread has not finished a unit after kPatience (a
// unit takes a fraction of a millisecond, so the system has put that thread aside), it decodes
// the unit again itself. So on a machine whose other cores are busy it loses little against
// decoding everything itself.
// Less than kMinReadAheadUnits units before the end, no threads are started. Nor is the system's
// load looked at: with units this small, threads that get no core cost the reading thread next
// to nothing (measured with a load of 3.6 on two cores: the same time with and without them).
// ---------------------------------------------------------------------------------------------
constexpr std::uint64_t kIntervalsPerUnit = 1;
constexpr std::uint64_t kReadAheadBytes = 1u << 20;
constexpr std::uint64_t kMaxIntervalBytes = 1u << 20; // larger ones are libmspack's
constexpr unsigned kMaxReadAheadThreads = 8;
constexpr std::uint64_t kMinReadAheadUnits = 8;
constexpr std::chrono::milliseconds kPatience{1};

constexpr std::uint64_t kFrameSize = 0x8000; // bytes of output between ResetTable entries
constexpr std::uint64_t kNoInterval = ~std::uint64_t{0};

std::uint64_t readLe(const std::uint8_t* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

} // namespace

const char* readErrorText(ReadError error) {
    switch (error) {
    case ReadError::Ok:
        return "没有错误";
    case ReadError::CannotOpen:
        return "文件不存在或无法打开";
    case ReadError::NotChm:
        return "它不是 CHM 文件";
    case ReadError::Corrupt:
        return "帮助文件已损坏";
    case ReadError::NotFound:
        return "帮助文件中没有这个文件";
    case ReadError::TooLarge:
        return "其中的文件超过允许的大小";
    case ReadError::PastEnd:
        return "其中的文件超出了帮助文件的末尾";
    case ReadError::Aborted:
        return "写入提取的文件失败";
    }
    return "未知错误";
}

// Where libmspack's output goes during one extraction: the caller's sink, or a buffer of the
// read-ahead. At most limit bytes are taken.
struct SinkState {
    const ReaderSink* sink = nullptr;
    std::vector<std::uint8_t>* buffer = nullptr;
    std::uint64_t written = 0;
    std::uint64_t limit = 0;
    bool refused = false;
};

// Where section 1's reset intervals lie, from the ResetTable: one entry per 32 KiB frame, so
// interval k starts at entry k * (resetInterval / 32 KiB). Empty when the help file has no
// table we can use.
struct IntervalMap {
    std::uint64_t content = 0; // where the Content stream starts in the help file
    std::uint64_t contentLength = 0;
    std::uint64_t length = 0;          // section 1's decoded length
    std::uint64_t interval = 0;        // decoded bytes per interval
    std::vector<std::uint64_t> starts; // per interval: where its bits start in Content
    unsigned windowBits = 0;

    bool usable() const { return !starts.empty(); }
    std::uint64_t count() const { return starts.size(); }
    // Decoded bytes of interval k, without the zeros that pad the last frame.
    std::uint64_t bytesOf(std::uint64_t k) const {
        return std::min(interval, length - k * interval);
    }
};

// One thread's decoder and buffers: the interval's bits, and its decoded bytes.
struct OwnDecoder {
    std::unique_ptr<lzx::Decoder> lzx;
    std::vector<std::uint8_t> bits;
    std::vector<std::uint8_t> bytes;
};

// The I/O table handed to libmspack. It must stay the first member: libmspack passes the
// table's address back to open() and alloc(), and we cast it back to reach the owner. Each
// decoder thread has its own table, output and messages; the owner's help file is only read.
struct IoSystem {
    mspack_system table;
    ReaderArchive::Impl* owner;
    SinkState* output;
    std::vector<std::string>* messages; // nullptr: the owner's warnings
};

struct IoFile {
    ReaderArchive::Impl* owner = nullptr;
    SinkState* output = nullptr; // set when writing
    std::vector<std::string>* messages = nullptr;
    bool writing = false;
    std::FILE* fp = nullptr; // reading from disk
    std::uint64_t pos = 0;   // reading from memory
};

class IntervalReadAhead;

struct ReaderArchive::Impl {
    IoSystem io{};
    mschm_decompressor* decoder = nullptr;
    mschmd_header* header = nullptr;
    std::string path;
    std::vector<std::uint8_t> memory;
    bool inMemory = false;
    std::uint64_t size = 0;
    std::vector<ReaderEntry> entries;
    std::vector<mschmd_file*> handles;
    std::vector<std::string> warnings;
    std::uint64_t section1Length = 0;
    int rawFd = -1;                  // our own handle for what we read without libmspack
    std::uint64_t resetInterval = 0; // bytes of section 1 between LZX resets, 0 if unknown
    std::uint64_t decodedTo = 0;     // where libmspack's LZX state stands in section 1
    bool decoderLive = false;

    // The extraction currently running: where its bytes go and how many it may write.
    SinkState output;
    // Decoding ahead (see the top of this file): where the last section-1 read ended, and the
    // decoder threads once started.
    std::uint64_t lastReadEnd = 0;
    bool sequential = false;
    bool readAheadBroken = false;
    ReaderArchive::ReadAhead readAheadMode = ReaderArchive::ReadAhead::Auto;
    unsigned cores = 0; // once asked
    std::unique_ptr<IntervalReadAhead> readAhead;

    void warn(std::string text) {
        if (warnings.size() < kMaxWarnings)
            warnings.push_back(std::move(text));
    }

    // Section 1 as our own decoder reads it, interval by interval (see the top of this file).
    IntervalMap intervals;
    OwnDecoder plain;                            // the reading thread's, when nothing decodes ahead
    std::uint64_t plainInterval = kNoInterval;   // which interval plain.bytes holds
    std::uint64_t refusedInterval = kNoInterval; // the last one our decoder refused

    // Reads raw bytes of the help file; false when out of range. Safe on any thread.
    // POSIX only: open/pread on a descriptor (a Windows port reads at an OVERLAPPED offset).
    bool readRaw(std::uint64_t offset, std::size_t length, std::uint8_t* out) const {
        if (offset > size || length > size - offset)
            return false;
        if (inMemory) {
            std::memcpy(out, memory.data() + offset, length);
            return true;
        }
        while (length > 0) {
            const ssize_t got = pread(rawFd, out, length, static_cast<off_t>(offset));
            if (got <= 0) {
                if (got < 0 && errno == EINTR)
                    continue;
                return false;
            }
            out += got;
            offset += static_cast<std::uint64_t>(got);
            length -= static_cast<std::size_t>(got);
        }
        return true;
    }

    bool decodeInterval(OwnDecoder& d, std::uint64_t index, std::uint8_t* out) const;
    ReadError streamIntervals(const ReaderEntry& entry, const ReaderSink& sink,
                              std::uint64_t& sent);

    ~Impl();

    void initIo(IoSystem& system, SinkState* out, std::vector<std::string>* messages);
    ReadError open(const char* name);
    ReadError streamAhead(const ReaderEntry& entry, const ReaderSink& sink);
    void skipAheadIfCheaper(const ReaderEntry& entry);
    void findNamesWithNul();
    void readSection1Layout();
};

namespace {

mspack_file* ioOpen(mspack_system* self, const char* filename, int mode) {
    IoSystem* system = reinterpret_cast<IoSystem*>(self);
    ReaderArchive::Impl* owner = system->owner;
    auto* file = new (std::nothrow) IoFile;
    if (!file)
        return nullptr;
    file->owner = owner;
    file->output = system->output;
    file->messages = system->messages;
    if (mode == MSPACK_SYS_OPEN_WRITE) {
        // Every write goes to the sink of the extraction in progress; the name is ours.
        file->writing = true;
    } else if (mode == MSPACK_SYS_OPEN_READ) {
        if (!owner->inMemory) {
            file->fp = std::fopen(filename, "rb");
            if (!file->fp) {
                delete file;
                return nullptr;
            }
        }
    } else {
        delete file;
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(file);
}

void ioClose(mspack_file* handle) {
    auto* file = reinterpret_cast<IoFile*>(handle);
    if (!file)
        return;
    if (file->fp)
        std::fclose(file->fp);
    delete file;
}

int ioRead(mspack_file* handle, void* buffer, int bytes) {
    auto* file = reinterpret_cast<IoFile*>(handle);
    if (!file || file->writing || bytes < 0)
        return -1;
    if (file->fp) {
        std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(bytes), file->fp);
        if (got == 0 && std::ferror(file->fp))
            return -1;
        return static_cast<int>(got);
    }
    const std::vector<std::uint8_t>& mem = file->owner->memory;
    if (file->pos >= mem.size())
        return 0;
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(bytes),
                                          mem.size() - static_cast<std::size_t>(file->pos));
    std::memcpy(buffer, mem.data() + file->pos, n);
    file->pos += n;
    return static_cast<int>(n);
}

int ioWrite(mspack_file* handle, void* buffer, int bytes) {
    auto* file = reinterpret_cast<IoFile*>(handle);
    if (!file || !file->writing || bytes < 0)
        return -1;
    SinkState& out = *file->output;
    auto n = static_cast<std::uint64_t>(bytes);
    if ((!out.sink && !out.buffer) || out.written + n > out.limit) {
        out.refused = true;
        return -1;
    }
    out.written += n;
    const auto* data = static_cast<const std::uint8_t*>(buffer);
    if (out.buffer) {
        // The buffer's room was reserved for the whole unit, and limit keeps within it.
        out.buffer->insert(out.buffer->end(), data, data + n);
    } else if (!(*out.sink)(data, static_cast<std::size_t>(n))) {
        out.refused = true;
        return -1;
    }
    return bytes;
}

int ioSeek(mspack_file* handle, off_t offset, int mode) {
    auto* file = reinterpret_cast<IoFile*>(handle);
    if (!file || file->writing)
        return -1;
    if (file->fp) {
        int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
                     : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                                   : SEEK_END;
        return fseeko(file->fp, offset, whence) == 0 ? 0 : -1;
    }
    auto base =
        static_cast<std::int64_t>(mode == MSPACK_SYS_SEEK_START ? 0
                                  : mode == MSPACK_SYS_SEEK_CUR ? file->pos
                                                                : file->owner->memory.size());
    std::int64_t target = base + static_cast<std::int64_t>(offset);
    if (target < 0)
        return -1;
    file->pos = static_cast<std::uint64_t>(target);
    return 0;
}

off_t ioTell(mspack_file* handle) {
    auto* file = reinterpret_cast<IoFile*>(handle);
    if (!file || file->writing)
        return -1;
    if (file->fp)
        return ftello(file->fp);
    return static_cast<off_t>(file->pos);
}

void ioMessage(mspack_file* handle, const char* format, ...) {
    auto* file = reinterpret_cast<IoFile*>(handle);
    if (!file || !file->owner)
        return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (file->messages) {
        if (file->messages->size() < kMaxWarnings)
            file->messages->push_back(std::string("libmspack 报告：") + text);
    } else {
        file->owner->warn(std::string("libmspack 报告：") + text);
    }
}

void* ioAlloc(mspack_system*, size_t bytes) {
    if (bytes == 0 || bytes > kMaxAllocation)
        return nullptr;
    return std::malloc(bytes);
}

void ioFree(void* ptr) {
    std::free(ptr);
}

void ioCopy(void* src, void* dest, size_t bytes) {
    std::memmove(dest, src, bytes);
}

} // namespace

void ReaderArchive::Impl::initIo(IoSystem& system, SinkState* out,
                                 std::vector<std::string>* messages) {
    system.table.open = ioOpen;
    system.table.close = ioClose;
    system.table.read = ioRead;
    system.table.write = ioWrite;
    system.table.seek = ioSeek;
    system.table.tell = ioTell;
    system.table.message = ioMessage;
    system.table.alloc = ioAlloc;
    system.table.free = ioFree;
    system.table.copy = ioCopy;
    system.table.null_ptr = nullptr;
    system.owner = this;
    system.output = out;
    system.messages = messages;
}

ReadError ReaderArchive::Impl::open(const char* name) {
    initIo(io, &output, nullptr);

    decoder = mspack_create_chm_decompressor(&io.table);
    if (!decoder)
        return ReadError::CannotOpen;
    header = decoder->open(decoder, name);
    if (!header) {
        switch (decoder->last_error(decoder)) {
        case MSPACK_ERR_OPEN:
            return ReadError::CannotOpen;
        case MSPACK_ERR_SIGNATURE:
            return ReadError::NotChm;
        default: {
            // A file too short for the header fails as a read error; it is only a damaged
            // help file if it at least begins like one.
            std::uint8_t signature[4];
            if (!readRaw(0, sizeof signature, signature) ||
                std::memcmp(signature, "ITSF", sizeof signature) != 0)
                return ReadError::NotChm;
            return ReadError::Corrupt;
        }
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (mschmd_file* f = pass == 0 ? header->files : header->sysfiles; f; f = f->next) {
            ReaderEntry entry;
            entry.name = f->filename ? f->filename : "";
            entry.section = f->section ? f->section->id : 0;
            entry.offset = static_cast<std::uint64_t>(std::max<off_t>(f->offset, 0));
            entry.length = static_cast<std::uint64_t>(std::max<off_t>(f->length, 0));
            entry.id = entries.size();
            entries.push_back(std::move(entry));
            handles.push_back(f);
        }
    }
    findNamesWithNul();
    readSection1Layout();
    return ReadError::Ok;
}

// Walks the listing chunks the way libmspack does and flags the entries whose stored name
// held a NUL. Every header field used here was validated by libmspack's open().
void ReaderArchive::Impl::findNamesWithNul() {
    const std::size_t chunkSize = header->chunk_size;
    if (chunkSize < 0x16 || header->dir_offset < 0)
        return;
    std::vector<std::uint8_t> chunk(chunkSize);
    for (unsigned k = 0; k < header->num_chunks; ++k) {
        auto at = static_cast<std::uint64_t>(header->dir_offset) +
                  static_cast<std::uint64_t>(k) * chunkSize;
        if (!readRaw(at, chunkSize, chunk.data()))
            return;
        if (std::memcmp(chunk.data(), "PMGL", 4) != 0)
            continue;
        std::size_t p = 0x14;
        const std::size_t end = chunkSize - 2;
        auto count = static_cast<unsigned>(readLe(chunk.data() + end, 2));
        auto encint = [&](std::uint64_t& value) {
            value = 0;
            for (int i = 0; i < 9; ++i) {
                if (p >= end)
                    return false;
                std::uint8_t b = chunk[p++];
                value = (value << 7) | (b & 0x7Fu);
                if (!(b & 0x80u))
                    return true;
            }
            return false;
        };
        while (count--) {
            std::uint64_t nameLength = 0, section = 0, offset = 0, length = 0;
            if (!encint(nameLength) || nameLength > end - p)
                break;
            std::string_view name(reinterpret_cast<const char*>(chunk.data() + p),
                                  static_cast<std::size_t>(nameLength));
            p += static_cast<std::size_t>(nameLength);
            if (!encint(section) || !encint(offset) || !encint(length))
                break;
            std::size_t nul = name.find('\0');
            if (nul == std::string_view::npos)
                continue;
            std::string_view cut = name.substr(0, nul);
            for (ReaderEntry& e : entries)
                if (e.name == cut && e.section == section && e.offset == offset &&
                    e.length == length)
                    e.nameHasNul = true;
        }
    }
}

void ReaderArchive::Impl::readSection1Layout() {
    const auto sec0 = static_cast<std::uint64_t>(std::max<off_t>(header->sec0.offset, 0));
    auto stored = [&](std::string_view name) -> const ReaderEntry* {
        for (const ReaderEntry& e : entries)
            if (e.section == 0 && e.name == name)
                return &e;
        return nullptr;
    };
    auto readStored = [&](const ReaderEntry* e, std::uint64_t at, std::size_t want,
                          std::uint8_t* out) {
        return e && e->length >= at && e->length - at >= want &&
               readRaw(sec0 + e->offset + at, want, out);
    };
    const ReaderEntry* table =
        stored("::DataSpace/Storage/MSCompressed/Transform/"
               "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable");
    std::uint8_t head[reset_table::kHeaderSize];
    const bool haveTable = readStored(table, 0, sizeof head, head);
    if (haveTable)
        section1Length = readLe(head + reset_table::kUncompressedLength, 8);
    else if (readStored(stored("::DataSpace/Storage/MSCompressed/SpanInfo"), 0, 8, head))
        section1Length = readLe(head, 8);
    std::uint8_t control[0x1C];
    std::uint64_t window = 0;
    if (readStored(stored("::DataSpace/Storage/MSCompressed/ControlData"), 0, sizeof control,
                   control) &&
        std::memcmp(control + lzxc::kSignature, "LZXC", 4) == 0) {
        const std::uint64_t version = readLe(control + 8, 4);
        const std::uint64_t unit = version == 2 ? kFrameSize : version == 1 ? 1 : 0;
        resetInterval = readLe(control + 12, 4) * unit;
        window = readLe(control + 16, 4) * unit;
    }

    // Our own decoder needs the whole ResetTable, with an entry for every interval's start.
    const ReaderEntry* content = stored("::DataSpace/Storage/MSCompressed/Content");
    if (!haveTable || !content || section1Length == 0 || resetInterval == 0 ||
        resetInterval % kFrameSize != 0 || resetInterval > kMaxIntervalBytes ||
        !std::has_single_bit(window) ||
        !lzx::Decoder::supportsWindowBits(static_cast<unsigned>(std::countr_zero(window))) ||
        readLe(head + 0x08, 4) != reset_table::kEntrySize ||
        readLe(head + 0x0C, 4) != reset_table::kHeaderSize ||
        readLe(head + reset_table::kFrameSize, 8) != kFrameSize || sec0 + content->offset > size ||
        content->length > size - sec0 - content->offset)
        return;
    const std::uint64_t framesPer = resetInterval / kFrameSize;
    const std::uint64_t count = (section1Length - 1) / resetInterval + 1;
    const std::uint64_t tableEntries = readLe(head + reset_table::kEntryCount, 4);
    if (tableEntries <= (count - 1) * framesPer ||
        tableEntries > (table->length - reset_table::kHeaderSize) / reset_table::kEntrySize)
        return;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(tableEntries * reset_table::kEntrySize));
    if (!readStored(table, reset_table::kHeaderSize, raw.size(), raw.data()))
        return;
    std::vector<std::uint64_t> starts(static_cast<std::size_t>(count));
    for (std::uint64_t k = 0; k < count; ++k) {
        starts[k] = readLe(raw.data() + k * framesPer * reset_table::kEntrySize, 8);
        if (starts[k] > content->length || (k > 0 && starts[k] < starts[k - 1]) ||
            (k == 0 && starts[k] != 0))
            return;
    }
    intervals.content = sec0 + content->offset;
    intervals.contentLength = content->length;
    intervals.length = section1Length;
    intervals.interval = resetInterval;
    intervals.windowBits = static_cast<unsigned>(std::countr_zero(window));
    intervals.starts = std::move(starts);
}

// Decodes interval k into out (room for intervals.interval bytes and lzx::kDecodeSlack more).
// False when its bits cannot be read or do not decode on their own.
bool ReaderArchive::Impl::decodeInterval(OwnDecoder& d, std::uint64_t k, std::uint8_t* out) const {
    const IntervalMap& map = intervals;
    const std::uint64_t from = map.starts[k];
    const std::uint64_t to = k + 1 < map.count() ? map.starts[k + 1] : map.contentLength;
    const std::uint64_t want = map.bytesOf(k);
    // Compilers pad the last frame with zeros; the decoder runs to the frame's end.
    const std::uint64_t padded =
        std::min(map.interval, (want + kFrameSize - 1) / kFrameSize * kFrameSize);
    try {
        d.bits.resize(static_cast<std::size_t>(to - from));
        if (!d.lzx)
            d.lzx = std::make_unique<lzx::Decoder>(map.windowBits);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!readRaw(map.content + from, d.bits.size(), d.bits.data()))
        return false;
    const std::size_t room = static_cast<std::size_t>(map.interval) + lzx::kDecodeSlack;
    return d.lzx->decodeInterval(d.bits, std::span(out, room), static_cast<std::size_t>(padded)) >=
           want;
}

// The plain way with our own decoder: the intervals that hold the entry, one at a time, the
// last one kept for the next file. sent counts the bytes handed to the sink, so that a caller
// falling back to libmspack after a failure can skip them.
ReadError ReaderArchive::Impl::streamIntervals(const ReaderEntry& entry, const ReaderSink& sink,
                                               std::uint64_t& sent) {
    const std::uint64_t first = entry.offset / intervals.interval;
    const std::uint64_t last = (entry.offset + entry.length - 1) / intervals.interval;
    try {
        plain.bytes.resize(static_cast<std::size_t>(intervals.interval) + lzx::kDecodeSlack);
    } catch (const std::bad_alloc&) {
        return ReadError::NotFound;
    }
    std::uint64_t at = entry.offset;
    const std::uint64_t end = entry.offset + entry.length;
    for (std::uint64_t k = first; k <= last; ++k) {
        if (plainInterval != k) {
            plainInterval = kNoInterval;
            if (!decodeInterval(plain, k, plain.bytes.data())) {
                if (refusedInterval != k)
                    warn("压缩数据的第 " + std::to_string(k + 1) +
                         " 段无法单独解压，其中的文件改为从头解压");
                refusedInterval = k;
                return ReadError::NotFound;
            }
            plainInterval = k;
        }
        const std::uint64_t from = at - k * intervals.interval;
        const std::uint64_t take = std::min(end - at, intervals.bytesOf(k) - from);
        if (!sink(plain.bytes.data() + from, static_cast<std::size_t>(take)))
            return ReadError::Aborted;
        sent += take;
        at += take;
    }
    return ReadError::Ok;
}

// libmspack restarts its LZX decoder only when asked to go backwards; going forwards it
// decodes every byte in between, even across files nobody asked for (the full-text index
// lies between the pages and #STRINGS). When the gap is longer than a reset interval, a
// fresh decoder that starts at the reset point before the file is cheaper. The header from
// open() does not belong to the decoder object, so swapping the object keeps it valid.
void ReaderArchive::Impl::skipAheadIfCheaper(const ReaderEntry& entry) {
    if (!decoderLive || resetInterval == 0 || entry.offset <= decodedTo ||
        entry.offset - decodedTo <= resetInterval)
        return;
    mschm_decompressor* fresh = mspack_create_chm_decompressor(&io.table);
    if (!fresh)
        return;
    mspack_destroy_chm_decompressor(decoder);
    decoder = fresh;
    decoderLive = false;
}

// The decoder threads of the read-ahead and the decoded intervals they hold, in order.
class IntervalReadAhead {
public:
    IntervalReadAhead(ReaderArchive::Impl& owner, std::uint64_t firstInterval, unsigned threads)
        : m_owner(owner), m_unit(owner.intervals.interval * kIntervalsPerUnit),
          m_count((owner.intervals.length + m_unit - 1) / m_unit),
          m_maxSlots(std::max<std::uint64_t>(kReadAheadBytes / m_unit, 1)),
          m_next(firstInterval / kIntervalsPerUnit), m_decoders(threads + 1),
          m_reader(m_decoders.back()), m_wanted(wantedUnits(owner, m_unit, m_count)) {
        skipUnwanted();
        for (unsigned t = 0; t < threads; ++t)
            m_threads.emplace_back([this, d = &m_decoders[t]] { work(*d); });
    }

    ~IntervalReadAhead() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_space.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }

    IntervalReadAhead(const IntervalReadAhead&) = delete;
    IntervalReadAhead& operator=(const IntervalReadAhead&) = delete;

    // Hands the entry's bytes to the sink once the intervals that hold them are decoded.
    // NotFound when they cannot come from here: the caller then reads the plain way, and drops
    // the read-ahead unless keep is set (a file bigger than it holds, or in units it passes
    // over) or failed is set (an interval did not decode).
    ReadError serve(const ReaderEntry& entry, const ReaderSink& sink, bool& keep, bool& failed) {
        const std::uint64_t first = entry.offset / m_unit;
        const std::uint64_t last = (entry.offset + entry.length - 1) / m_unit;
        failed = false;
        keep = last - first + 1 > m_maxSlots ||
               std::find(m_wanted.begin() + static_cast<std::ptrdiff_t>(first),
                         m_wanted.begin() + static_cast<std::ptrdiff_t>(last) + 1,
                         false) != m_wanted.begin() + static_cast<std::ptrdiff_t>(last) + 1;
        if (keep)
            return ReadError::NotFound;
        std::unique_lock lock(m_mutex);
        if (m_slots.empty() ? m_next > first : m_slots.front()->index > first)
            return ReadError::NotFound; // behind the read-ahead
        // Intervals before the entry are done with: let the threads move on. One a thread is
        // still decoding is left to that thread to throw away.
        bool moved = false;
        while (!m_slots.empty() && m_slots.front()->index < first) {
            if (m_slots.front()->decoding)
                m_abandoned.push_back(std::move(m_slots.front()));
            else
                m_spare.push_back(std::move(m_slots.front()->bytes));
            m_slots.pop_front();
            moved = true;
        }
        if (m_slots.empty() && m_next < first) {
            m_next = first; // skip a gap nobody has started on
            moved = true;
        }
        if (moved)
            m_space.notify_all();
        // Wait for the entry's units, decoding meanwhile (below); a unit another thread has not
        // finished after kPatience (on a busy machine that thread may have been put aside) this
        // thread decodes again itself.
        for (;;) {
            failed = false;
            bool done = !m_slots.empty() && m_slots.back()->index >= last;
            for (const auto& slot : m_slots) {
                if (slot->index > last)
                    break;
                done = done && slot->state != Slot::Working;
                failed = failed || slot->state == Slot::Failed;
            }
            if (done)
                break;
            // A unit of the entry nobody has started, or else while another thread decodes
            // one of the entry's, the next unit ahead: this thread decodes it rather than wait.
            if (m_next <= last || (m_next < m_count && m_slots.size() < m_maxSlots)) {
                Slot& slot = claim();
                lock.unlock();
                const bool ok = decode(m_reader, slot.index, slot.bytes);
                lock.lock();
                slot.state = ok ? Slot::Ready : Slot::Failed;
                continue;
            }
            if (m_ready.wait_for(lock, kPatience) == std::cv_status::no_timeout)
                continue;
            Slot* late = nullptr;
            for (const auto& slot : m_slots)
                if (!late && slot->index <= last && slot->state == Slot::Working && !slot->taken)
                    late = slot.get();
            if (!late)
                continue;
            late->taken = true;
            lock.unlock();
            const bool ok = decode(m_reader, late->index, late->ownBytes);
            lock.lock();
            late->state = ok ? Slot::Ready : Slot::Failed;
        }
        if (failed)
            return ReadError::NotFound;
        // Only this thread removes slots, and the threads leave finished ones alone.
        std::vector<const Slot*> slots;
        for (const auto& slot : m_slots)
            if (slot->index <= last)
                slots.push_back(slot.get());
        lock.unlock();
        std::uint64_t at = entry.offset;
        const std::uint64_t end = entry.offset + entry.length;
        for (const Slot* slot : slots) {
            const std::uint64_t start = slot->index * m_unit;
            const std::uint64_t from = at - start;
            const std::vector<std::uint8_t>& bytes = slot->taken ? slot->ownBytes : slot->bytes;
            const std::uint64_t take = std::min<std::uint64_t>(end - at, bytes.size() - from);
            if (!sink(bytes.data() + from, static_cast<std::size_t>(take)))
                return ReadError::Aborted;
            at += take;
        }
        return ReadError::Ok;
    }

private:
    struct Slot {
        enum State { Working, Ready, Failed };
        std::uint64_t index = 0;
        State state = Working;
        std::vector<std::uint8_t> bytes;
        bool decoding = false; // a decoder thread is writing bytes
        bool taken = false;    // the reading thread decoded it too, into:
        std::vector<std::uint8_t> ownBytes;
    };
    void work(OwnDecoder& d) {
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_space.wait(
                lock, [&] { return m_stop || (m_slots.size() < m_maxSlots && m_next < m_count); });
            if (m_stop)
                return;
            Slot* claimed = nullptr;
            try {
                claimed = &claim();
            } catch (const std::bad_alloc&) {
                return; // the other threads, the reading one among them, carry on
            }
            Slot& slot = *claimed;
            slot.decoding = true;
            lock.unlock();
            const bool ok = decode(d, slot.index, slot.bytes);
            lock.lock();
            slot.decoding = false;
            const auto gone = std::find_if(m_abandoned.begin(), m_abandoned.end(),
                                           [&](const auto& p) { return p.get() == &slot; });
            if (gone != m_abandoned.end())
                m_abandoned.erase(gone);
            else if (!slot.taken)
                slot.state = ok ? Slot::Ready : Slot::Failed;
            m_ready.notify_all();
        }
    }

    // The units that hold a byte of a file other than the compiler's own (names starting
    // "/#", "/$" or "::"): a front-to-back reader such as the decompiler reads those few by
    // name if at all, and the full-text index among them can be a fifth of the section.
    static std::vector<bool> wantedUnits(const ReaderArchive::Impl& owner, std::uint64_t unit,
                                         std::uint64_t count) {
        std::vector<bool> wanted(static_cast<std::size_t>(count), false);
        for (const ReaderEntry& e : owner.entries) {
            const std::string_view name = e.name;
            if (e.section != 1 || e.length == 0 || e.length > owner.section1Length ||
                e.offset > owner.section1Length - e.length || name.substr(0, 2) == "/#" ||
                name.substr(0, 2) == "/$" || name.substr(0, 2) == "::")
                continue;
            for (std::uint64_t k = e.offset / unit; k <= (e.offset + e.length - 1) / unit; ++k)
                wanted[static_cast<std::size_t>(k)] = true;
        }
        return wanted;
    }

    void skipUnwanted() {
        while (m_next < m_count && !m_wanted[static_cast<std::size_t>(m_next)])
            ++m_next;
    }

    // Adds a slot for the next unit, under the lock.
    Slot& claim() {
        m_slots.push_back(std::make_unique<Slot>());
        Slot& slot = *m_slots.back();
        slot.index = m_next++;
        skipUnwanted();
        if (!m_spare.empty()) {
            slot.bytes = std::move(m_spare.back());
            m_spare.pop_back();
        }
        return slot;
    }

    // Decodes one slot's reset intervals with this thread's decoder.
    bool decode(OwnDecoder& d, std::uint64_t index, std::vector<std::uint8_t>& out) {
        const IntervalMap& map = m_owner.intervals;
        const std::uint64_t start = index * m_unit;
        const std::uint64_t length = std::min(m_unit, map.length - start);
        const std::uint64_t first = index * kIntervalsPerUnit;
        const std::uint64_t count = (length - 1) / map.interval + 1;
        try {
            // Each interval's decode may run into the next one's room, the last one's into
            // the slack.
            out.resize(static_cast<std::size_t>(count * map.interval) + lzx::kDecodeSlack);
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (std::uint64_t k = 0; k < count; ++k)
            if (!m_owner.decodeInterval(d, first + k, out.data() + k * map.interval))
                return false;
        out.resize(static_cast<std::size_t>(length));
        return true;
    }

    ReaderArchive::Impl& m_owner;
    const std::uint64_t m_unit; // bytes of section 1 per slot
    const std::uint64_t m_count;
    const std::uint64_t m_maxSlots;
    std::mutex m_mutex;
    std::condition_variable m_ready;                // a slot finished
    std::condition_variable m_space;                // room for another slot, or stop
    std::deque<std::unique_ptr<Slot>> m_slots;      // consecutive intervals, the first still needed
    std::uint64_t m_next;                           // the next interval to start on
    std::vector<std::vector<std::uint8_t>> m_spare; // buffers of intervals done with
    std::vector<std::unique_ptr<Slot>> m_abandoned; // passed by while a thread decodes them
    bool m_stop = false;
    std::vector<OwnDecoder> m_decoders; // one per thread
    OwnDecoder& m_reader;               // the reading thread's, the last one
    const std::vector<bool> m_wanted;   // per unit: worth decoding ahead
    std::vector<std::thread> m_threads;
};

ReaderArchive::Impl::~Impl() {
    readAhead.reset();
    if (rawFd >= 0)
        ::close(rawFd);
}

ReadError ReaderArchive::Impl::streamAhead(const ReaderEntry& entry, const ReaderSink& sink) {
    if (readAheadBroken || entry.offset + entry.length > intervals.length)
        return ReadError::NotFound;
    if (!readAhead) {
        // Threads do not pay for themselves over the last few units of a file.
        if (cores == 0)
            cores = std::max(std::thread::hardware_concurrency(), 1u);
        if (readAheadMode == ReaderArchive::ReadAhead::Never ||
            (cores < 2 && readAheadMode == ReaderArchive::ReadAhead::Auto) ||
            intervals.length - entry.offset <
                kMinReadAheadUnits * kIntervalsPerUnit * intervals.interval)
            return ReadError::NotFound;
        try {
            readAhead = std::make_unique<IntervalReadAhead>(
                *this, entry.offset / intervals.interval,
                std::clamp(cores - 1, 1u, kMaxReadAheadThreads));
        } catch (const std::exception&) { // no threads to be had: read the plain way
            readAheadBroken = true;
            return ReadError::NotFound;
        }
    }
    bool keep = false;
    bool failed = false;
    const ReadError result = readAhead->serve(entry, sink, keep, failed);
    if (result == ReadError::NotFound && !keep)
        readAhead.reset();
    // An interval that did not decode (damaged, or not on its own) is libmspack's to read; the
    // read-ahead would only meet it again.
    if (failed) {
        readAhead.reset();
        readAheadBroken = true;
    }
    return result;
}

ReaderArchive::ReaderArchive() = default;

ReaderArchive::~ReaderArchive() {
    close();
}

void ReaderArchive::close() {
    if (!m_impl)
        return;
    m_impl->readAhead.reset();
    if (m_impl->decoder) {
        if (m_impl->header)
            m_impl->decoder->close(m_impl->decoder, m_impl->header);
        mspack_destroy_chm_decompressor(m_impl->decoder);
    }
    m_impl.reset();
}

bool ReaderArchive::isOpen() const {
    return m_impl && m_impl->header;
}

ReadError ReaderArchive::openFile(const std::string& path) {
    close();
    m_impl = std::make_unique<Impl>();
    m_impl->path = path;
    m_impl->rawFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_impl->rawFd < 0) {
        m_impl.reset();
        return ReadError::CannotOpen;
    }
    m_impl->size =
        static_cast<std::uint64_t>(std::max<off_t>(lseek(m_impl->rawFd, 0, SEEK_END), 0));
    // libmspack keeps the name pointer and reopens the file by it when extracting.
    ReadError error = m_impl->open(m_impl->path.c_str());
    if (error != ReadError::Ok)
        close();
    return error;
}

ReadError ReaderArchive::openMemory(std::vector<std::uint8_t> bytes) {
    close();
    m_impl = std::make_unique<Impl>();
    m_impl->inMemory = true;
    m_impl->memory = std::move(bytes);
    m_impl->size = m_impl->memory.size();
    ReadError error = m_impl->open(kMemoryName);
    if (error != ReadError::Ok)
        close();
    return error;
}

const std::vector<ReaderEntry>& ReaderArchive::entries() const {
    static const std::vector<ReaderEntry> none;
    return m_impl ? m_impl->entries : none;
}

const ReaderEntry* ReaderArchive::find(std::string_view name) const {
    if (!m_impl)
        return nullptr;
    std::string wanted;
    if (!name.empty() && name[0] != '/' && name.substr(0, 2) != "::")
        wanted = "/";
    wanted.append(name);
    const ReaderEntry* loose = nullptr;
    for (const ReaderEntry& e : m_impl->entries) {
        if (e.name == wanted)
            return &e;
        if (!loose && text::equalsIgnoreCase(e.name, wanted))
            loose = &e;
    }
    return loose;
}

ReadError ReaderArchive::stream(const ReaderEntry& entry, const ReaderSink& sink,
                                std::uint64_t maxSize) {
    if (!isOpen() || entry.id >= m_impl->handles.size())
        return ReadError::NotFound;
    Impl& d = *m_impl;
    if (entry.length > maxSize)
        return ReadError::TooLarge;
    // Bound the entry by its section before libmspack sees it.
    if (entry.section == 0) {
        auto sec0 = static_cast<std::uint64_t>(std::max<off_t>(d.header->sec0.offset, 0));
        if (sec0 > d.size || entry.offset > d.size - sec0 ||
            entry.length > d.size - sec0 - entry.offset)
            return ReadError::PastEnd;
    } else if (d.section1Length != 0 && (entry.offset > d.section1Length ||
                                         entry.length > d.section1Length - entry.offset)) {
        return ReadError::PastEnd;
    }
    // What the sink has had already when our own decoder gave up part way through a file.
    std::uint64_t sent = 0;
    if (entry.section == 1 && entry.length > 0 && d.intervals.usable()) {
        // Read-ahead serves what it can; anything else takes the plain way below.
        const bool forwards = entry.offset >= d.lastReadEnd;
        d.sequential = forwards && (d.sequential || d.lastReadEnd != 0);
        d.lastReadEnd = entry.offset + entry.length;
        if (!forwards)
            d.readAhead.reset();
        if (d.sequential) {
            const ReadError ahead = d.streamAhead(entry, sink);
            if (ahead != ReadError::NotFound)
                return ahead;
        }
        const ReadError own = d.streamIntervals(entry, sink, sent);
        if (own != ReadError::NotFound)
            return own;
    }
    const ReaderSink rest = [&sink, skip = sent](const std::uint8_t* data, std::size_t n) mutable {
        const auto skipped = static_cast<std::size_t>(std::min<std::uint64_t>(skip, n));
        skip -= skipped;
        return skipped == n || sink(data + skipped, n - skipped);
    };
    if (entry.section == 1)
        d.skipAheadIfCheaper(entry);
    d.output = SinkState{};
    d.output.sink = sent > 0 ? &rest : &sink;
    d.output.limit = entry.length;
    int rc = d.decoder->extract(d.decoder, d.handles[entry.id], "<sink>");
    bool refused = d.output.refused;
    const std::uint64_t written = d.output.written;
    d.output = SinkState{};
    if (entry.section == 1 && entry.length > 0) { // empty files leave the decoder alone
        d.decoderLive = rc == MSPACK_ERR_OK;
        d.decodedTo = entry.offset + written;
    }
    if (rc == MSPACK_ERR_OK && written == entry.length)
        return ReadError::Ok;
    if (refused && rc == MSPACK_ERR_WRITE)
        return ReadError::Aborted;
    return ReadError::Corrupt;
}

ReadError ReaderArchive::read(const ReaderEntry& entry, std::vector<std::uint8_t>& out,
                              std::uint64_t maxSize) {
    out.clear();
    if (entry.length > maxSize)
        return ReadError::TooLarge;
    out.reserve(static_cast<std::size_t>(entry.length));
    ReaderSink sink = [&out](const std::uint8_t* data, std::size_t size) {
        out.insert(out.end(), data, data + size);
        return true;
    };
    ReadError error = stream(entry, sink, maxSize);
    if (error != ReadError::Ok)
        out.clear();
    return error;
}

ReadError ReaderArchive::read(std::string_view name, std::vector<std::uint8_t>& out,
                              std::uint64_t maxSize) {
    const ReaderEntry* entry = find(name);
    if (!entry) {
        out.clear();
        return ReadError::NotFound;
    }
    return read(*entry, out, maxSize);
}

void ReaderArchive::setReadAhead(ReadAhead mode) {
    if (!m_impl)
        return;
    m_impl->readAheadMode = mode;
    if (mode == ReadAhead::Never)
        m_impl->readAhead.reset();
}

std::uint64_t ReaderArchive::fileSize() const {
    return m_impl ? m_impl->size : 0;
}

std::uint64_t ReaderArchive::compressedSectionLength() const {
    return m_impl ? m_impl->section1Length : 0;
}

std::vector<std::string> ReaderArchive::takeWarnings() {
    std::vector<std::string> out;
    if (m_impl)
        out.swap(m_impl->warnings);
    return out;
}

} // namespace chm
