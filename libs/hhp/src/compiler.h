// The compiler's state through one compile, shared by the files of its jobs: gathering the
// files (compile_gather.cpp), describing the help file for the system files
// (compile_describe.cpp) and the pipeline that runs them and writes the result (compile.cpp).
#pragma once

#include "compile_search.h"
#include "disk_lookup.h"
#include "hhp/compile.h"
#include "hhp/link_scan.h"
#include "hhp/project.h"
#include "hhp/sitemap.h"
#include "text/ascii.h"

#include <chm/system_files.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace hhp::detail {

namespace fs = std::filesystem;

// Input files beyond this size are refused rather than read whole: a help page is never
// near it, and the container keeps everything in memory.
constexpr std::uintmax_t kMaxInputFile = 512u * 1024u * 1024u;
// Project and sitemap texts are parsed whole; nothing legitimate is this large.
constexpr std::uintmax_t kMaxTextFile = 64u * 1024u * 1024u;

template <typename Buffer = std::string>
std::optional<Buffer> readFile(const fs::path& path, std::uintmax_t limit) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec || size > limit)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    Buffer data(static_cast<std::size_t>(size), 0);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size));
    if (static_cast<std::uintmax_t>(in.gcount()) != size)
        return std::nullopt;
    return data;
}

bool isHtmlName(std::string_view name);

// Name components joined with '/', as names are stored.
std::string join(const std::vector<std::string>& components);

struct StoredFile {
    std::string name; // internal name without the leading '/'
    fs::path path;
    // Held as the container takes it, so it is moved there rather than copied.
    std::vector<std::uint8_t> data;
    bool isSitemap = false;

    std::string_view text() const {
        return {reinterpret_cast<const char*>(data.data()), data.size()};
    }
};

class Compiler {
public:
    Compiler(const fs::path& projectPath, Diagnostics& diagnostics, const ProgressSink& progress)
        : m_projectPath(projectPath),
          m_lookup(projectPath.parent_path().empty() ? fs::path(".") : projectPath.parent_path()),
          m_diagnostics(diagnostics), m_progress(progress) {}

    CompileResult run(const CompileOptions& options);

private:
    void note(Step step, const std::vector<std::string>& args = {}) {
        if (m_project.displayProgress && m_progress)
            m_progress(step, args);
    }
    // The key under which a missing file is remembered, so that a later check of the same
    // name (the system files' topic look-up) does not report it again.
    static std::string missingKey(std::string_view name) {
        return text::toLowerAscii(join(detail::splitRelative(localReference(name)).components));
    }
    void reportSystemWarnings(const std::vector<chm::SystemWarning>& warnings);

    // Text bound for the system files: UTF-8 that is not plain ASCII goes to the code page.
    std::string toCodePage(const std::string& text, const std::string& file, int line);

    // Adds the file a name refers to; returns its index in m_files. `quiet` suppresses the
    // warning for a missing file (references found by the link scan).
    std::optional<std::size_t> addFile(std::string_view name, const std::vector<std::string>& base,
                                       const std::string& origin, int line, bool quiet,
                                       bool allowOutside);
    void addFilesEntry(const ProjectName& entry);
    void scanLinks();
    void readSitemaps();
    void collectSitemapPages(const std::vector<SitemapItem>& entries, const std::string& origin);
    std::vector<chm::ContentsEntry> contentsTree(const std::vector<SitemapItem>& entries);
    std::vector<chm::IndexKeyword> keywordTree(const std::vector<SitemapItem>& entries);
    chm::HelpFileInfo describe(const CompileOptions& options);
    // The pages and stop list the search index is made from; the pages' text stays where it
    // is, so their data must not move or be freed until the index is made.
    struct SearchInput {
        std::vector<detail::SearchPage> pages;
        std::optional<std::string> stopList;
    };
    SearchInput searchInput();
    std::string internalNameOf(const std::string& name);

    fs::path m_projectPath;
    std::string m_projectName; // as shown in messages
    detail::DiskLookup m_lookup;
    Diagnostics& m_diagnostics;
    const ProgressSink& m_progress;
    Project m_project;
    std::uint32_t m_codePage = 1252;

    std::vector<StoredFile> m_files;
    std::unordered_map<std::string, std::size_t> m_byName; // lower-cased internal name
    std::optional<std::size_t> m_contentsIndex;
    std::optional<std::size_t> m_indexIndex;
    Sitemap m_contents;
    Sitemap m_index;
    std::string m_contentsName;
    std::string m_indexName;
    std::set<std::string> m_reportedMissing; // missingKey() of every name reported not found
};

} // namespace hhp::detail
