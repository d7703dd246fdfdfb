// libmspack behind a small interface. libmspack reads and writes through a table of I/O
// callbacks (mspack_system); ours reads the help file from disk or memory, sends extracted
// bytes to the caller's sink instead of a file, caps allocations and collects messages.
//
// What libmspack does not check for us, and this file does:
// - a stored file's offset and length against the section that holds it (a lying directory
//   entry would otherwise have the decoder run on until the input gives out);
// - the size the caller is ready to take, before any decoding starts;
// - names with a NUL inside: libmspack copies the name and cuts it at the first NUL, so we
//   walk the listing chunks ourselves to find such names and flag the entries they became.
#include "chm/reader_archive.h"

#include "text/ascii.h"

#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mspack.h>
#include <mutex>
#include <new>
#include <thread>

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
// gets the intervals ahead of it decoded on every core while it writes. kIntervalsPerUnit reset
// intervals (64 KiB each in every help file seen) are the unit of work: a thread that moves on
// to a unit that does not follow its last one needs a fresh LZX decoder, and four intervals
// make that cost vanish beside the decoding while leaving work for every core in files of a
// few hundred kilobytes. kReadAheadBytes bounds the decoded bytes held at once: four units
// keep a decoder ahead of the writing, and every further megabyte is fresh memory the kernel
// must hand over page by page (measured: 2 and 16 MiB made extracting slower, not faster). A
// file that needs more than that, or intervals larger than kMaxIntervalBytes, is read the
// plain way.
// The reading thread keeps a core for writing out files (about half the work of extracting a
// help file), so one decoder thread runs per further core, at most kMaxReadAheadThreads; when
// the reading thread would wait for a unit nobody has started, it decodes that unit itself, so
// on a machine whose other cores are busy it loses little against decoding everything itself.
// Less than kMinReadAheadUnits units before the end, no threads are started; nor while the
// system's load average says there is no core to spare (more than the core count less
// kSpareCoreLoad): then the threads only wait for their turn and cost the reader time
// (measured with a load of 7 on two cores: 5 to 20% slower than decoding alone). Reading the
// load costs a file open, so after a refusal it is read again only kLoadCheckReads reads later.
// ---------------------------------------------------------------------------------------------
constexpr std::uint64_t kIntervalsPerUnit = 4;
constexpr std::uint64_t kReadAheadBytes = 1u << 20;
constexpr std::uint64_t kMaxIntervalBytes = 1u << 20;
constexpr unsigned kMaxReadAheadThreads = 8;
constexpr std::uint64_t kMinReadAheadUnits = 2;
constexpr double kSpareCoreLoad = 0.5;
constexpr unsigned kLoadCheckReads = 256;

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
    std::FILE* raw = nullptr;        // our own handle for the checks libmspack does not make
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
    unsigned cores = 0;               // once asked
    unsigned readsUntilLoadCheck = 0; // while the read-ahead waits for a spare core
    std::unique_ptr<IntervalReadAhead> readAhead;

    void warn(std::string text) {
        if (warnings.size() < kMaxWarnings)
            warnings.push_back(std::move(text));
    }

    // Reads raw bytes of the help file for our own checks; false when out of range.
    bool readRaw(std::uint64_t offset, std::size_t length, std::uint8_t* out) {
        if (offset > size || length > size - offset)
            return false;
        if (inMemory) {
            std::memcpy(out, memory.data() + offset, length);
            return true;
        }
        if (!raw)
            raw = std::fopen(path.c_str(), "rb");
        return raw && fseeko(raw, static_cast<off_t>(offset), SEEK_SET) == 0 &&
               std::fread(out, 1, length, raw) == length;
    }

    ~Impl();

    void initIo(IoSystem& system, SinkState* out, std::vector<std::string>* messages);
    ReadError open(const char* name);
    ReadError streamAhead(const ReaderEntry& entry, const ReaderSink& sink);
    void skipAheadIfCheaper(const ReaderEntry& entry);
    void findNamesWithNul();
    void readSection1Length();
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
    readSection1Length();
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

void ReaderArchive::Impl::readSection1Length() {
    std::uint64_t sec0 = static_cast<std::uint64_t>(std::max<off_t>(header->sec0.offset, 0));
    auto readSmall = [&](const char* name, std::size_t want, std::uint8_t* out) {
        for (const ReaderEntry& e : entries)
            if (e.section == 0 && e.name == name && e.length >= want)
                return readRaw(sec0 + e.offset, want, out);
        return false;
    };
    std::uint8_t buf[0x28];
    if (readSmall("::DataSpace/Storage/MSCompressed/Transform/"
                  "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable",
                  sizeof buf, buf))
        section1Length = readLe(buf + 0x10, 8);
    else if (readSmall("::DataSpace/Storage/MSCompressed/SpanInfo", 8, buf))
        section1Length = readLe(buf, 8);
    if (readSmall("::DataSpace/Storage/MSCompressed/ControlData", 0x1C, buf) &&
        std::memcmp(buf + 4, "LZXC", 4) == 0) {
        std::uint64_t version = readLe(buf + 8, 4);
        std::uint64_t interval = readLe(buf + 12, 4);
        resetInterval = version == 2 ? interval * 0x8000 : version == 1 ? interval : 0;
    }
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
        : m_owner(owner), m_unit(owner.resetInterval * kIntervalsPerUnit),
          m_count((owner.section1Length + m_unit - 1) / m_unit),
          m_maxSlots(std::max<std::uint64_t>(kReadAheadBytes / m_unit, 1)),
          m_next(firstInterval / kIntervalsPerUnit), m_decoders(makeDecoders(owner, threads + 1)),
          m_reader(*m_decoders.back()), m_wanted(wantedUnits(owner, m_unit, m_count)) {
        skipUnwanted();
        for (unsigned t = 0; t < threads; ++t)
            m_threads.emplace_back([this, d = m_decoders[t].get()] { work(*d); });
    }

    ~IntervalReadAhead() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_space.notify_all();
        for (std::thread& t : m_threads)
            t.join();
        for (auto& d : m_decoders) {
            if (d->decoder) {
                if (d->header)
                    d->decoder->close(d->decoder, d->header);
                mspack_destroy_chm_decompressor(d->decoder);
            }
        }
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
        // Intervals before the entry are done with: let the threads move on.
        bool moved = false;
        while (!m_slots.empty() && m_slots.front()->index < first) {
            m_ready.wait(lock, [&] { return m_slots.front()->state != Slot::Working; });
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
        // Wait for the entry's units; one that no thread has taken yet this thread decodes
        // itself (on a busy machine the other threads may get little time).
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
            if (m_next <= last) {
                Slot& slot = claim();
                lock.unlock();
                const bool ok = decode(m_reader, slot.index, slot.bytes);
                lock.lock();
                slot.state = ok ? Slot::Ready : Slot::Failed;
                continue;
            }
            m_ready.wait(lock);
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
            const std::uint64_t take = std::min<std::uint64_t>(end - at, slot->bytes.size() - from);
            if (!sink(slot->bytes.data() + from, static_cast<std::size_t>(take)))
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
    };
    struct Decoder {
        IoSystem io{};
        SinkState out;
        std::vector<std::string> messages; // dropped: the plain path repeats what went wrong
        mschm_decompressor* decoder = nullptr;
        mschmd_header* header = nullptr;
        std::uint64_t decodedTo = ~std::uint64_t{0};
    };

    static std::vector<std::unique_ptr<Decoder>> makeDecoders(ReaderArchive::Impl& owner,
                                                              unsigned count) {
        std::vector<std::unique_ptr<Decoder>> decoders;
        for (unsigned i = 0; i < count; ++i) {
            decoders.push_back(std::make_unique<Decoder>());
            owner.initIo(decoders.back()->io, &decoders.back()->out, &decoders.back()->messages);
        }
        return decoders;
    }

    void work(Decoder& d) {
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
            lock.unlock();
            const bool ok = decode(d, slot.index, slot.bytes);
            lock.lock();
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

    // Decodes one slot's reset intervals with this thread's own decoder, started afresh at the
    // first one unless it already stands there.
    bool decode(Decoder& d, std::uint64_t index, std::vector<std::uint8_t>& out) {
        const std::uint64_t start = index * m_unit;
        const std::uint64_t length = std::min(m_unit, m_owner.section1Length - start);
        out.clear();
        try {
            out.reserve(static_cast<std::size_t>(length));
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (!d.decoder) {
            d.decoder = mspack_create_chm_decompressor(&d.io.table);
            if (!d.decoder)
                return false;
            // A full open: fast_open leaves the section's own files to be looked up through
            // the index chunks, which some writers get wrong.
            d.header =
                d.decoder->open(d.decoder, m_owner.inMemory ? kMemoryName : m_owner.path.c_str());
            if (!d.header)
                return false;
        } else if (!d.header) {
            return false;
        } else if (d.decodedTo != start) {
            mschm_decompressor* fresh = mspack_create_chm_decompressor(&d.io.table);
            if (!fresh)
                return false;
            mspack_destroy_chm_decompressor(d.decoder);
            d.decoder = fresh;
        }
        mschmd_file span{};
        span.section = &d.header->sec1.base;
        span.offset = static_cast<off_t>(start);
        span.length = static_cast<off_t>(length);
        span.filename = const_cast<char*>("");
        d.out = SinkState{};
        d.out.buffer = &out;
        d.out.limit = length;
        const int rc = d.decoder->extract(d.decoder, &span, "<ahead>");
        d.out = SinkState{};
        const bool ok = rc == MSPACK_ERR_OK && out.size() == length;
        d.decodedTo = ok ? start + length : ~std::uint64_t{0};
        return ok;
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
    bool m_stop = false;
    std::vector<std::unique_ptr<Decoder>> m_decoders; // one per thread
    Decoder& m_reader;                                // the reading thread's, the last one
    const std::vector<bool> m_wanted;                 // per unit: worth decoding ahead
    std::vector<std::thread> m_threads;
};

ReaderArchive::Impl::~Impl() {
    readAhead.reset();
    if (raw)
        std::fclose(raw);
}

ReadError ReaderArchive::Impl::streamAhead(const ReaderEntry& entry, const ReaderSink& sink) {
    if (readAheadBroken || resetInterval == 0 || resetInterval > kMaxIntervalBytes ||
        section1Length == 0 || entry.offset + entry.length > section1Length)
        return ReadError::NotFound;
    if (!readAhead) {
        // Threads do not pay for themselves over the last few units of a file, nor when the
        // other cores are busy already. The load is looked at once per kLoadCheckReads reads.
        if (cores == 0)
            cores = std::max(std::thread::hardware_concurrency(), 1u);
        if (cores < 2 || readAheadMode == ReaderArchive::ReadAhead::Never ||
            section1Length - entry.offset < kMinReadAheadUnits * kIntervalsPerUnit * resetInterval)
            return ReadError::NotFound;
        if (readAheadMode == ReaderArchive::ReadAhead::Auto) {
            if (readsUntilLoadCheck > 0) {
                --readsUntilLoadCheck;
                return ReadError::NotFound;
            }
            double load = 0;
            if (getloadavg(&load, 1) == 1 && load > cores - kSpareCoreLoad) {
                readsUntilLoadCheck = kLoadCheckReads;
                return ReadError::NotFound;
            }
        }
        try {
            readAhead = std::make_unique<IntervalReadAhead>(
                *this, entry.offset / resetInterval, std::min(cores - 1, kMaxReadAheadThreads));
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
    // A help file whose intervals do not decode on their own is read the plain way from now on.
    if (failed)
        readAheadBroken = true;
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
    std::FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp) {
        m_impl.reset();
        return ReadError::CannotOpen;
    }
    if (fseeko(fp, 0, SEEK_END) == 0)
        m_impl->size = static_cast<std::uint64_t>(std::max<off_t>(ftello(fp), 0));
    std::fclose(fp);
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
    if (entry.section == 1 && entry.length > 0) {
        // Read-ahead serves what it can; anything else takes the plain path below.
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
    }
    if (entry.section == 1)
        d.skipAheadIfCheaper(entry);
    d.output = SinkState{};
    d.output.sink = &sink;
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
