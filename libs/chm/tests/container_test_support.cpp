// Test helpers; libmspack reads and extracts through mspack_system hooks of ours so that every
// warning it prints can be checked too.
#include "container_test_support.h"

#include "chm/container_writer.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <mspack.h>
#include <random>
#include <regex>
#include <sys/wait.h>

namespace container_test {

Bytes textLike(std::size_t size, std::uint32_t seed) {
    static const char* const words[] = {
        "the",    "help",  "topic", "index", "window", "compiled", "file", "page", "contents",
        "search", "table", "of",    "and",   "to",     "a",        "is",   "for",  "with",
        "<p>",    "</p>",  "<li>",  "</li>", "<br>",   "&nbsp;",   "<td>", "</td>"};
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(size + 64);
    while (out.size() < size) {
        const auto pick = static_cast<unsigned>(rng() % 100);
        if (pick < 3 && out.size() > 300) {
            // Copy an earlier stretch, near or far: what makes markup compress.
            const std::size_t back = 1 + rng() % std::min<std::size_t>(out.size() - 1, 70000);
            const std::size_t len = 5 + rng() % 300;
            const std::size_t from = out.size() - back;
            for (std::size_t i = 0; i < len; ++i)
                out.push_back(out[from + i]);
        } else if (pick < 5) {
            out.push_back(static_cast<std::uint8_t>('0' + rng() % 10));
        } else {
            const char* w = words[rng() % std::size(words)];
            out.insert(out.end(), w, w + std::strlen(w));
            out.push_back(pick < 80 ? ' ' : '\n');
        }
    }
    out.resize(size);
    return out;
}

Bytes randomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(rng() >> 24);
    return out;
}

std::vector<Sample> roundTripSamples() {
    std::vector<Sample> samples;
    auto one = [&](std::string name, Bytes data) {
        samples.push_back({std::move(name), {{"/data.bin", std::move(data)}}});
    };
    one("Empty", {});
    one("OneByte", {0x41});
    for (const std::size_t size : {32767u, 32768u, 32769u, 65535u, 65536u, 65537u})
        one("Text" + std::to_string(size), textLike(size, static_cast<std::uint32_t>(size)));
    one("Incompressible", randomBytes(300000, 1));
    {
        // One 1000-byte pattern repeated: maximal matches across every frame boundary.
        const Bytes pattern = randomBytes(1000, 2);
        Bytes data;
        while (data.size() < 250000)
            data.insert(data.end(), pattern.begin(), pattern.end());
        one("LongRepeats", data);
        one("Zeros", Bytes(200001, 0));
    }
    {
        // 0xE8 runs and x86-call-like E8 xx xx xx xx records: E8 translation stays off, so
        // they must come back untouched.
        Bytes data(70000, 0xE8);
        const Bytes noise = randomBytes(100000, 3);
        for (std::size_t i = 0; i + 5 <= noise.size(); i += 5) {
            data.push_back(0xE8);
            data.insert(data.end(), noise.begin() + static_cast<std::ptrdiff_t>(i),
                        noise.begin() + static_cast<std::ptrdiff_t>(i + 4));
        }
        one("RunsOfE8", data);
    }
    {
        // Frame by frame: text, noise, noise, text, text, noise; every mix of block choices.
        Bytes data;
        std::uint32_t seed = 10;
        for (const bool text : {true, false, false, true, true, false}) {
            const Bytes part = text ? textLike(32768, seed) : randomBytes(32768, seed);
            data.insert(data.end(), part.begin(), part.end());
            ++seed;
        }
        one("MixedFrames", data);
    }
    {
        // 16-byte records whose last 10 bytes repeat an earlier record's: match distances are
        // multiples of 16, which aligned-offset blocks send cheaper than verbatim ones.
        std::mt19937 rng(5);
        Bytes data;
        for (std::size_t i = 0; i < 20000; ++i) {
            for (int k = 0; k < 6; ++k)
                data.push_back(static_cast<std::uint8_t>(rng() >> 24));
            const std::size_t from =
                i > 10 ? (i - 2 - rng() % std::min<std::size_t>(i - 2, 3000)) * 16 + 6 : 0;
            for (std::size_t k = 0; k < 10; ++k)
                data.push_back(i > 10 ? data[from + k] : 0);
        }
        one("AlignedRecords", data);
    }
    one("Text1MB", textLike(1'000'000, 4));
    {
        Sample s{"SeveralFiles", {}};
        s.files.push_back({"/index.htm", textLike(5000, 20)});
        s.files.push_back({"/empty.htm", {}});
        s.files.push_back({"/img/logo.gif", randomBytes(40000, 21)});
        s.files.push_back({"/E - Minder Images/About.jpg", randomBytes(1477, 22)});
        s.files.push_back({"/docs/commands/_WinActivateForce.htm", textLike(70000, 23)});
        s.files.push_back({"/docs/commands/AutoTrim.htm", textLike(3, 24)});
        samples.push_back(std::move(s));
    }
    {
        // Several listing chunks and an index chunk above them.
        Sample s{"ThousandsOfFiles", {}};
        for (int i = 0; i < 3000; ++i)
            s.files.push_back(
                {"/Folder" + std::to_string(i % 7) + "/Page_" + std::to_string(i) + ".htm",
                 textLike(static_cast<std::size_t>(i % 50), static_cast<std::uint32_t>(i))});
        samples.push_back(std::move(s));
    }
    return samples;
}

Bytes buildChm(const std::vector<std::pair<std::string, Bytes>>& files, unsigned threads) {
    chm::ContainerOptions options;
    options.threads = threads;
    chm::ContainerWriter writer(options);
    for (const auto& [name, data] : files) {
        EXPECT_EQ(writer.addFile(name, data, chm::Section::Compressed), chm::WriteError::None)
            << name;
    }
    Bytes out;
    EXPECT_EQ(writer.build(out), chm::WriteError::None);
    return out;
}

// ---- libmspack on temporary files, its warnings caught --------------------------------------

namespace {

std::vector<std::string>* g_messages = nullptr;

FILE* asFile(mspack_file* f) {
    return reinterpret_cast<FILE*>(f);
}

void message(mspack_file*, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_messages->push_back(std::string("libmspack: ") + text);
}

mspack_system g_files = {
    [](mspack_system*, const char* name, int mode) {
        return reinterpret_cast<mspack_file*>(
            std::fopen(name, mode == MSPACK_SYS_OPEN_READ ? "rb" : "wb"));
    },
    [](mspack_file* f) { std::fclose(asFile(f)); },
    [](mspack_file* f, void* buffer, int bytes) {
        return static_cast<int>(std::fread(buffer, 1, static_cast<std::size_t>(bytes), asFile(f)));
    },
    [](mspack_file* f, void* buffer, int bytes) {
        return static_cast<int>(std::fwrite(buffer, 1, static_cast<std::size_t>(bytes), asFile(f)));
    },
    [](mspack_file* f, off_t offset, int mode) {
        return fseeko(asFile(f), offset,
                      mode == MSPACK_SYS_SEEK_START ? SEEK_SET
                      : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                                    : SEEK_END);
    },
    [](mspack_file* f) { return ftello(asFile(f)); },
    message,
    [](mspack_system*, std::size_t bytes) { return std::malloc(bytes); },
    [](void* p) { std::free(p); },
    [](void* from, void* to, std::size_t bytes) { std::memmove(to, from, bytes); },
    nullptr};

} // namespace

MspackView readWithLibmspack(const Bytes& chm) {
    MspackView view;
    ScratchDir dir;
    const std::string image = (dir.path() / "image.chm").string();
    const std::string out = (dir.path() / "out.bin").string();
    writeBytes(image, chm);
    g_messages = &view.problems;
    mschm_decompressor* d = mspack_create_chm_decompressor(&g_files);
    if (mschmd_header* h = d->open(d, image.c_str())) {
        view.opened = true;
        for (mschmd_file* f = h->files; f; f = f->next) {
            const std::string name = f->filename;
            view.names.push_back(name);
            if (d->extract(d, f, out.c_str()) != MSPACK_ERR_OK)
                view.problems.push_back("extract " + name + ": error " +
                                        std::to_string(d->last_error(d)));
            else
                view.files[name] = readBytes(out);
            // The indexed lookup (PMGI descent, quickrefs) must agree with the listing, in any
            // letter case.
            std::string upper = name;
            for (char& c : upper)
                c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
            for (const std::string& wanted : {name, upper}) {
                mschmd_file found{};
                if (d->fast_find(d, h, wanted.c_str(), &found, sizeof found) != MSPACK_ERR_OK ||
                    !found.section || found.offset != f->offset || found.length != f->length)
                    view.problems.push_back("fast_find misses " + wanted);
            }
        }
        d->close(d, h);
    } else {
        view.problems.push_back("open: error " + std::to_string(d->last_error(d)));
    }
    mspack_destroy_chm_decompressor(d);
    g_messages = nullptr;
    return view;
}

// ---- files and processes -----------------------------------------------------------------

int runProgram(const std::vector<std::string>& args, const std::filesystem::path& log) {
    std::string command;
    for (const std::string& a : args) // single-quoted for sh, each ' as '\''
        command += "'" + std::regex_replace(a, std::regex("'"), "'\\''") + "' ";
    const int status = std::system((command + "</dev/null >'" + log.string() + "' 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1; // POSIX only
}

bool haveProgram(const std::string& name) {
    return runProgram({"sh", "-c", "command -v " + name}, "/dev/null") == 0;
}

} // namespace container_test
