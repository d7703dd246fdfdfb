// Fuzz target: open a help file from memory, read every stored file in stored order, parse
// its settings files and sitemaps, and decompile it into a scratch folder, checking that
// nothing lands outside that folder.
#include "chm/reader_archive.h"
#include "chm/reader_decompile.h"
#include "chm/reader_settings.h"
#include "chm/reader_sitemap.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h> // POSIX only: getpid() names the scratch folder
#include <vector>

namespace fs = std::filesystem;

namespace {

// Small caps keep each input quick: a fuzzer finds bombs, it should not have to unpack them.
constexpr std::uint64_t kMaxFile = 4u << 20;
constexpr std::uint64_t kMaxTotal = 16u << 20;

fs::path scratchRoot() {
    static const fs::path root =
        fs::temp_directory_path() / ("quorlin-chm-fuzz-" + std::to_string(::getpid()));
    return root;
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "chm_extract_fuzz: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    chm::ReaderArchive archive;
    if (archive.openMemory(bytes) != chm::ReadError::Ok)
        return 0;

    std::vector<const chm::ReaderEntry*> order;
    for (const chm::ReaderEntry& e : archive.entries())
        order.push_back(&e);
    std::stable_sort(order.begin(), order.end(), [](auto* a, auto* b) {
        return a->section != b->section ? a->section < b->section : a->offset < b->offset;
    });
    std::uint64_t total = 0;
    std::vector<std::uint8_t> system, windows, strings, out;
    for (const chm::ReaderEntry* e : order) {
        if (total > kMaxTotal)
            break;
        if (archive.read(*e, out, kMaxFile) != chm::ReadError::Ok)
            continue;
        check(out.size() == e->length, "read returned a wrong length");
        total += out.size();
        if (e->name == "/#SYSTEM")
            system = out;
        else if (e->name == "/#WINDOWS")
            windows = out;
        else if (e->name == "/#STRINGS")
            strings = out;
        else if (e->name.size() > 4 && (e->name.ends_with(".hhc") || e->name.ends_with(".hhk")))
            chm::parseSitemap(std::string(out.begin(), out.end()));
    }
    std::vector<std::string> warnings;
    chm::parseSystem(system, warnings);
    chm::parseWindows(windows, strings, warnings);

    fs::path root = scratchRoot();
    fs::path folder = root / "out";
    chm::DecompileLimits limits;
    limits.maxFileSize = kMaxFile;
    limits.maxTotalSize = kMaxTotal;
    chm::decompileArchive(archive, folder.string(), "fuzz", limits);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root, ec))
        check(entry.path().filename() == "out", "something was written beside the output folder");
    fs::remove_all(root, ec);
    return 0;
}
