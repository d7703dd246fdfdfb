// Decompiling: one pass over the stored files in the order the compiler laid them out (so
// the LZX stream is decoded once from start to end), writing sources through a confined
// path check and keeping the settings files in memory for the project file.
#include "chm/reader_decompile.h"

#include "chm/byte_cursor.h"
#include "chm/reader_paths.h"
#include "chm/search_index.h"
#include "chm/system_format.h"
#include "text/ascii.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace chm {

namespace fs = std::filesystem;

namespace {

// The settings files are small; anything bigger than this is not what the compiler wrote.
constexpr std::uint64_t kMaxSettingsFile = 16u * 1024u * 1024u;
constexpr std::size_t kWriteBuffer = 256 * 1024;
constexpr std::uint64_t kMaxSearchIndex = 256u * 1024u * 1024u;
// Pages read again for the words the search index leaves out: stop words are common, so a
// sample finds them, and decompiling a big help file costs little more.
constexpr std::uint64_t kStopWordSample = 128 * 1024;

std::string hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string languageText(std::uint32_t lcid) {
    static const std::map<std::uint32_t, const char*> names = {
        {0x0409, "English (United States)"},
        {0x0809, "English (United Kingdom)"},
        {0x0804, "Chinese (PRC)"},
        {0x0404, "Chinese (Taiwan)"},
        {0x0C04, "Chinese (Hong Kong)"},
        {0x0407, "German (Germany)"},
        {0x040C, "French (France)"},
        {0x0411, "Japanese"},
        {0x0412, "Korean"},
        {0x0419, "Russian"},
        {0x0413, "Dutch (Netherlands)"},
        {0x0410, "Italian (Italy)"},
    };
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", lcid);
    std::string out = buf;
    if (auto it = names.find(lcid); it != names.end())
        out += std::string(" ") + it->second;
    return out;
}

std::string windowLine(const WindowSettings& w) {
    auto quoted = [](const std::string& s) { return "\"" + s + "\""; };
    // Numeric fields are written only where the compiler marked them as given; files from
    // writers that leave the marks at zero get every non-zero field.
    bool anyMarks = w.validMembers != 0;
    auto given = [&](std::uint32_t bit, std::uint32_t value) {
        return anyMarks ? (w.validMembers & bit) != 0 : value != 0;
    };
    auto number = [&](std::uint32_t bit, std::uint32_t value, bool asHex) {
        if (!given(bit, value))
            return std::string();
        return asHex ? hex(value) : std::to_string(value);
    };
    std::string line = w.name + "=" + quoted(w.caption) + "," + quoted(w.toc) + "," +
                       quoted(w.index) + "," + quoted(w.defaultFile) + "," + quoted(w.home) + "," +
                       quoted(w.jump1Url) + "," + quoted(w.jump1Text) + "," + quoted(w.jump2Url) +
                       "," + quoted(w.jump2Text) + ",";
    namespace valid = window_valid;
    line += number(valid::kProperties, w.properties, true) + ",";
    line += number(valid::kNavWidth, w.navWidth, false) + ",";
    line += number(valid::kButtons, w.toolbarFlags, true) + ",";
    bool rectGiven = anyMarks ? (w.validMembers & valid::kPosition) != 0
                              : (w.rect[0] | w.rect[1] | w.rect[2] | w.rect[3]) != 0;
    if (rectGiven)
        line += "[" + std::to_string(w.rect[0]) + "," + std::to_string(w.rect[1]) + "," +
                std::to_string(w.rect[2]) + "," + std::to_string(w.rect[3]) + "]";
    line += ",";
    line += number(valid::kStyles, w.styles, true) + ",";
    line += number(valid::kExStyles, w.exStyles, true) + ",";
    line += number(valid::kShowState, w.showState, false) + ",";
    line += number(valid::kNavClosed, w.notExpanded, false) + ",";
    line += number(valid::kDefaultTab, w.currentTab, false) + ",";
    line += number(valid::kTabPosition, w.tabPosition, false) + ",";
    line += w.notifyId ? std::to_string(w.notifyId) : std::string();
    return line;
}

// Creates the folders of `relative` under `root`, refusing to pass through anything that is
// not a plain folder (a link planted in the output folder must not redirect us).
// `made` remembers the folders this run has created or checked already.
// On failure `blocked` is the folder that could not be made or passed, and `error` the
// system's reason (empty when something other than a folder stands there).
bool makeParents(const fs::path& root, const std::string& relative, std::set<std::string>& made,
                 fs::path& blocked, std::error_code& error) {
    fs::path at = root;
    fs::path rel(relative);
    std::string key;
    for (auto it = rel.begin(); it != rel.end();) {
        fs::path part = *it;
        if (++it == rel.end())
            break;
        at /= part;
        key += part.string() + "/";
        if (made.count(key))
            continue;
        std::error_code ec;
        fs::file_status st = fs::symlink_status(at, ec);
        if (st.type() == fs::file_type::not_found) {
            if (!fs::create_directory(at, ec) && ec) {
                blocked = at;
                error = ec;
                return false;
            }
        } else if (st.type() != fs::file_type::directory) {
            blocked = at;
            return false;
        }
        made.insert(key); // only folders that passed the check are trusted later
    }
    return true;
}

// An output file written through a buffer; never follows a link at its own name. POSIX only:
// O_NOFOLLOW refuses the link; the _WIN32 branch has no such guard yet (a Windows port opens
// with CreateFileW and FILE_FLAG_OPEN_REPARSE_POINT and refuses a reparse point).
class OutputFile {
public:
    bool open(const fs::path& path) {
#ifndef _WIN32
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        return m_fd >= 0;
#else
        m_fp = _wfopen(path.c_str(), L"wb");
        return m_fp != nullptr;
#endif
    }
    bool write(const std::uint8_t* data, std::size_t size) {
        m_buffer.insert(m_buffer.end(), data, data + size);
        return m_buffer.size() < kWriteBuffer || flush();
    }
    bool finish() {
        bool ok = flush();
#ifndef _WIN32
        if (m_fd >= 0 && ::close(m_fd) != 0)
            ok = false;
        m_fd = -1;
#else
        if (m_fp && std::fclose(m_fp) != 0)
            ok = false;
        m_fp = nullptr;
#endif
        return ok;
    }
    ~OutputFile() {
        finish();
    }

private:
    bool flush() {
        std::size_t done = 0;
        while (done < m_buffer.size()) {
#ifndef _WIN32
            ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
#else
            std::size_t n = std::fwrite(m_buffer.data() + done, 1, m_buffer.size() - done, m_fp);
            if (n == 0)
                return false;
            done += n;
#endif
        }
        m_buffer.clear();
        return true;
    }
#ifndef _WIN32
    int m_fd = -1;
#else
    std::FILE* m_fp = nullptr;
#endif
    std::vector<std::uint8_t> m_buffer;
};

// A topic name that survives a project line unchanged: the project reader trims blanks and
// ends a line at CR or LF.
bool fitsProjectLine(const std::string& name) {
    if (name.empty() || name.front() == ' ' || name.back() == ' ' || name.front() == '\t' ||
        name.back() == '\t')
        return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// `wanted`, or with `suffix` put before its extension until no taken name is replaced.
std::string freeName(std::string wanted, const std::set<std::string>& taken,
                     std::string_view suffix) {
    while (taken.count(text::toLowerAscii(wanted))) {
        const auto dot = wanted.rfind('.');
        wanted.insert(dot == std::string::npos ? wanted.size() : dot, suffix);
    }
    return wanted;
}

bool isSitemapNamed(const std::string& name, std::string_view extension) {
    return name.size() > extension.size() &&
           text::toLowerAscii(name.substr(name.size() - extension.size())) == extension;
}

} // namespace

std::vector<ContextIdSetting> parseContextIds(std::span<const std::uint8_t> ivb,
                                              std::span<const std::uint8_t> strings,
                                              std::vector<DecompileWarning>& warnings) {
    std::vector<ContextIdSetting> out;
    ByteCursor in(ivb);
    const std::uint32_t claimed = in.u32();
    if (!in.ok())
        return out;
    bool damaged = claimed > in.remaining() || claimed % context_ids::kPairSize != 0;
    const ByteCursor pool(strings);
    while (in.position() - context_ids::kPairs + context_ids::kPairSize <= claimed) {
        const std::uint32_t number = in.u32();
        const std::uint32_t offset = in.u32();
        if (!in.ok())
            break;
        ByteCursor file = pool.at(offset);
        const std::string_view name = file.cString();
        if (offset == 0 || !file.ok()) {
            damaged = true;
            continue;
        }
        out.push_back({number, std::string(name)});
    }
    if (damaged)
        warnings.push_back({DecompileWarning::Kind::ContextIdsDamaged, "/#IVB", {}, {}, {}});
    return out;
}

ProjectText buildProject(const ProjectSource& source) {
    const SystemSettings& s = source.system;
    const WindowSettings* window = nullptr;
    for (const WindowSettings& w : source.windows)
        if (!s.defaultWindow.empty() && text::equalsIgnoreCase(w.name, s.defaultWindow))
            window = &w;

    std::string contents = s.contentsFile;
    std::string index = s.indexFile;
    std::string topic = s.defaultTopic;
    if (window) {
        if (contents.empty())
            contents = window->toc;
        if (index.empty())
            index = window->index;
        if (topic.empty())
            topic = window->defaultFile;
    }
    // Files from writers that record neither: a single stored sitemap of each kind is it.
    auto onlyOne = [&](std::string_view extension) {
        std::string found;
        for (const std::string& f : source.files)
            if (isSitemapNamed(f, extension)) {
                if (!found.empty())
                    return std::string();
                found = f;
            }
        return found;
    };
    if (contents.empty())
        contents = onlyOne(".hhc");
    if (index.empty())
        index = onlyOne(".hhk");

    // The help file names itself, but only a plain file name may name the files written
    // here: a folder part or a name such as ".." would put them outside the output folder.
    std::string stem = s.compiledFile.substr(s.compiledFile.find_last_of("/\\") + 1);
    if (stem.empty() || stem == "." || stem == ".." || !fitsProjectLine(stem) ||
        stem.find(':') != std::string::npos)
        stem = source.fallbackName;
    if (stem.empty())
        stem = "project";

    std::map<std::string, std::string> options; // HHW writes the keys sorted
    options["Compatibility"] = s.version == 2 ? "1.0" : "1.1 or later";
    options["Compiled file"] = stem + ".chm";
    if (!contents.empty())
        options["Contents file"] = contents;
    if (!index.empty())
        options["Index file"] = index;
    if (!topic.empty())
        options["Default topic"] = topic;
    if (window)
        options["Default Window"] = window->name;
    if (!s.defaultFont.empty())
        options["Default Font"] = s.defaultFont;
    options["Display compile progress"] = "No";
    options["Full-text search"] = s.fullTextSearch ? "Yes" : "No";
    if (s.binaryToc)
        options["Binary TOC"] = "Yes";
    if (s.lcid)
        options["Language"] = languageText(*s.lcid);
    if (!s.title.empty())
        options["Title"] = s.title;

    ProjectText out;
    out.fileName = freeName(stem + ".hhp", source.takenNames, "_project");
    std::string& t = out.text;
    std::set<std::string> taken = source.takenNames;
    taken.insert(text::toLowerAscii(out.fileName));
    if (!source.stopWords.empty() && s.fullTextSearch) {
        out.stopListName = freeName(stem + ".stp", taken, "_stop");
        taken.insert(text::toLowerAscii(out.stopListName));
        for (const std::string& word : source.stopWords)
            out.stopListText += word + "\r\n";
        options["Full text search stop list file"] = out.stopListName;
    }
    t += "[OPTIONS]\r\n";
    for (const auto& [key, value] : options)
        t += key + "=" + value + "\r\n";
    if (!source.windows.empty()) {
        t += "\r\n[WINDOWS]\r\n";
        for (const WindowSettings& w : source.windows)
            if (!w.name.empty())
                t += windowLine(w) + "\r\n";
    }
    t += "\r\n[FILES]\r\n";
    for (const std::string& f : source.files) {
        std::string lf = text::toLowerAscii(f);
        if (lf == text::toLowerAscii(contents) || lf == text::toLowerAscii(index))
            continue;
        t += f + "\r\n";
    }

    if (!source.contextIds.empty()) {
        out.headerName = freeName(stem + ".h", taken, "_ids");
        std::map<std::uint32_t, int> uses;
        std::string alias = "\r\n[ALIAS]\r\n";
        std::string& header = out.headerText;
        header = "// Context-help ids of " + stem + ".chm\r\n";
        for (const ContextIdSetting& id : source.contextIds) {
            std::string name = "IDH_" + std::to_string(id.number);
            if (const int n = ++uses[id.number]; n > 1)
                name += "_" + std::to_string(n);
            alias += name + "=" + id.file + "\r\n";
            header += "#define " + name + " " + std::to_string(id.number) + "\r\n";
        }
        t += alias;
        t += "\r\n[MAP]\r\n#include " + out.headerName + "\r\n";
    }
    return out;
}

DecompileResult decompileArchive(ReaderArchive& archive, const std::string& folder,
                                 const std::string& fallbackName, const DecompileLimits& limits) {
    DecompileResult result;
    std::error_code ec;
    fs::path root = fs::absolute(fs::path(folder), ec);
    using Kind = DecompileWarning::Kind;
    auto warn = [&](Kind kind, std::string name, std::string path = {},
                    ReadError error = ReadError::Ok, std::string detail = {}) {
        result.warnings.push_back(
            {kind, std::move(name), std::move(path), error, std::move(detail)});
    };
    if (ec || (!fs::create_directories(root, ec) && ec) || !fs::is_directory(root, ec)) {
        result.error = ReadError::Aborted;
        warn(Kind::OutputFolderUnusable, {}, folder);
        return result;
    }

    // Stored order: section 0 first (plain copies), then section 1 by offset, so the LZX
    // decoder only ever moves forwards.
    std::vector<const ReaderEntry*> order;
    for (const ReaderEntry& e : archive.entries())
        order.push_back(&e);
    std::stable_sort(order.begin(), order.end(), [](const ReaderEntry* a, const ReaderEntry* b) {
        if (a->section != b->section)
            return a->section < b->section;
        return a->offset < b->offset;
    });

    std::vector<std::uint8_t> systemBytes, windowsBytes, stringsBytes, contextBytes, indexBytes;
    std::vector<std::string> samplePages;
    std::uint64_t sampled = 0;
    std::set<std::string> taken; // lower-cased relative names already written
    std::set<std::string> madeFolders;
    std::vector<std::string> compileOrder, section0Sources;
    std::uint64_t total = 0;

    for (const ReaderEntry* e : order) {
        if (isInternalName(e->name)) {
            std::vector<std::uint8_t>* keep = nullptr;
            if (e->name == "/#SYSTEM")
                keep = &systemBytes;
            else if (e->name == "/#WINDOWS")
                keep = &windowsBytes;
            else if (e->name == "/#STRINGS")
                keep = &stringsBytes;
            else if (e->name == "/#IVB")
                keep = &contextBytes;
            else if (e->name == "/$FIftiMain")
                keep = &indexBytes;
            if (keep) {
                ReadError err = archive.read(
                    *e, *keep, keep == &indexBytes ? kMaxSearchIndex : kMaxSettingsFile);
                if (err != ReadError::Ok)
                    warn(Kind::SettingsUnreadable, e->name, {}, err);
            }
            continue;
        }
        std::string shown = printableName(e->name);
        if (e->nameHasNul) {
            warn(Kind::NameHasNul, shown);
            ++result.filesRefused;
            continue;
        }
        SafeName safe = safeRelativeName(e->name);
        if (!safe.ok) {
            warn(Kind::UnsafeName, shown, {}, ReadError::Ok, safe.reason);
            ++result.filesRefused;
            continue;
        }
        if (!taken.insert(text::toLowerAscii(safe.relative)).second) {
            warn(Kind::CaseCollision, shown);
            ++result.filesRefused;
            continue;
        }
        if (e->length > limits.maxFileSize || total + e->length > limits.maxTotalSize) {
            warn(Kind::TooLarge, shown);
            ++result.filesFailed;
            continue;
        }
        fs::path blocked;
        std::error_code folderError;
        if (!makeParents(root, safe.relative, madeFolders, blocked, folderError)) {
            warn(folderError ? Kind::CannotCreateFolder : Kind::FolderBlocked, shown,
                 blocked.string());
            result.warnings.back().systemError = folderError.value();
            ++result.filesFailed;
            continue;
        }
        fs::path target = root / fs::path(safe.relative);
        OutputFile out;
        if (!out.open(target)) {
            warn(Kind::CannotCreate, shown, target.string());
            ++result.filesFailed;
            continue;
        }
        bool writeFailed = false;
        const std::string lower = text::toLowerAscii(safe.relative);
        std::string* sample = nullptr;
        if ((lower.ends_with(".htm") || lower.ends_with(".html")) &&
            sampled + e->length <= kStopWordSample) {
            sample = &samplePages.emplace_back();
            sampled += e->length;
        }
        ReaderSink sink = [&](const std::uint8_t* data, std::size_t size) {
            if (!out.write(data, size))
                writeFailed = true;
            if (sample)
                sample->append(reinterpret_cast<const char*>(data), size);
            return !writeFailed;
        };
        ReadError err = archive.stream(*e, sink, limits.maxFileSize);
        bool closed = out.finish();
        if (err != ReadError::Ok || !closed) {
            fs::remove(target, ec);
            if (writeFailed || !closed)
                warn(Kind::WriteFailed, shown, target.string());
            else
                warn(Kind::ReadFailed, shown, {}, err);
            ++result.filesFailed;
            continue;
        }
        total += e->length;
        result.bytesWritten += e->length;
        ++result.filesWritten;
        (e->section == 1 ? compileOrder : section0Sources).push_back(safe.relative);
    }
    std::vector<std::string> notes = archive.takeWarnings();

    ProjectSource source;
    if (!systemBytes.empty())
        source.system = parseSystem(systemBytes, notes);
    else
        warn(Kind::NoSystemFile, "/#SYSTEM");
    if (!windowsBytes.empty())
        source.windows = parseWindows(windowsBytes, stringsBytes, notes);
    for (std::string& note : notes)
        warn(Kind::ReaderNote, {}, {}, ReadError::Ok, std::move(note));
    for (ContextIdSetting& id : parseContextIds(contextBytes, stringsBytes, result.warnings)) {
        if (fitsProjectLine(id.file))
            source.contextIds.push_back(std::move(id));
        else
            warn(Kind::ContextIdSkipped, "/#IVB", {}, ReadError::Ok, printableName(id.file));
    }
    source.files = std::move(compileOrder);
    source.files.insert(source.files.end(), section0Sources.begin(), section0Sources.end());
    source.fallbackName = fallbackName;
    if (source.system.fullTextSearch && !indexBytes.empty())
        source.stopWords = missingWords(std::move(indexBytes), samplePages);
    // Never let the project file or its header replace an extracted source.
    source.takenNames = taken;

    ProjectText project = buildProject(source);
    auto writeText = [&](const fs::path& path, const std::string& text) {
        OutputFile out;
        const bool ok = out.open(path) &&
                        out.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        return out.finish() && ok;
    };
    if (!project.headerName.empty() && !writeText(root / project.headerName, project.headerText)) {
        warn(Kind::ProjectUnwritable, {}, (root / project.headerName).string());
        ++result.filesFailed;
    } else {
        result.contextIds = source.contextIds.size();
    }
    if (!project.stopListName.empty() &&
        !writeText(root / project.stopListName, project.stopListText)) {
        warn(Kind::ProjectUnwritable, {}, (root / project.stopListName).string());
        ++result.filesFailed;
    }
    const fs::path projectPath = root / project.fileName;
    if (!writeText(projectPath, project.text)) {
        warn(Kind::ProjectUnwritable, {}, projectPath.string());
        ++result.filesFailed;
    } else {
        result.projectFile = projectPath.string();
    }
    return result;
}

DecompileResult decompileFile(const std::string& chmPath, const std::string& folder,
                              const DecompileLimits& limits) {
    ReaderArchive archive;
    ReadError err = archive.openFile(chmPath);
    if (err != ReadError::Ok) {
        DecompileResult result;
        result.error = err;
        for (std::string& note : archive.takeWarnings())
            result.warnings.push_back(
                {DecompileWarning::Kind::ReaderNote, {}, {}, ReadError::Ok, std::move(note)});
        return result;
    }
    std::string stem = fs::path(chmPath).stem().string();
    return decompileArchive(archive, folder, stem, limits);
}

} // namespace chm
