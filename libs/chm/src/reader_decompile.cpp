// Decompiling: one pass over the stored files in the order the compiler laid them out (so
// the LZX stream is decoded once from start to end), writing sources through a confined
// path check and keeping the settings files in memory for the project file.
#include "chm/reader_decompile.h"

#include "chm/reader_paths.h"

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

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

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
    line += number(0x2, w.properties, true) + ",";
    line += number(0x20, w.navWidth, false) + ",";
    line += number(0x100, w.toolbarFlags, true) + ",";
    bool rectGiven = anyMarks ? (w.validMembers & 0x10) != 0
                              : (w.rect[0] | w.rect[1] | w.rect[2] | w.rect[3]) != 0;
    if (rectGiven)
        line += "[" + std::to_string(w.rect[0]) + "," + std::to_string(w.rect[1]) + "," +
                std::to_string(w.rect[2]) + "," + std::to_string(w.rect[3]) + "]";
    line += ",";
    line += number(0x4, w.styles, true) + ",";
    line += number(0x8, w.exStyles, true) + ",";
    line += number(0x40, w.showState, false) + ",";
    line += number(0x200, w.notExpanded, false) + ",";
    line += number(0x2000, w.currentTab, false) + ",";
    line += number(0x400, w.tabPosition, false) + ",";
    line += w.notifyId ? std::to_string(w.notifyId) : std::string();
    return line;
}

// Creates the folders of `relative` under `root`, refusing to pass through anything that is
// not a plain folder (a link planted in the output folder must not redirect us).
// `made` remembers the folders this run has created or checked already.
bool makeParents(const fs::path& root, const std::string& relative, std::set<std::string>& made,
                 std::string& reason) {
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
                reason = "无法创建文件夹 " + at.string() + "：" + ec.message();
                return false;
            }
        } else if (st.type() != fs::file_type::directory) {
            reason = at.string() + " 已存在且不是文件夹";
            return false;
        }
        made.insert(key); // only folders that passed the check are trusted later
    }
    return true;
}

// An output file written through a buffer; never follows a link at its own name.
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

bool isSitemapNamed(const std::string& name, std::string_view extension) {
    return name.size() > extension.size() &&
           lower(name.substr(name.size() - extension.size())) == extension;
}

} // namespace

ProjectText buildProject(const ProjectSource& source) {
    const SystemSettings& s = source.system;
    const WindowSettings* window = nullptr;
    for (const WindowSettings& w : source.windows)
        if (!s.defaultWindow.empty() && lower(w.name) == lower(s.defaultWindow))
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

    std::string stem = s.compiledFile.empty() ? source.fallbackName : s.compiledFile;
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
    out.fileName = stem + ".hhp";
    std::string& t = out.text;
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
        std::string lf = lower(f);
        if (lf == lower(contents) || lf == lower(index))
            continue;
        t += f + "\r\n";
    }
    return out;
}

DecompileResult decompileArchive(ReaderArchive& archive, const std::string& folder,
                                 const std::string& fallbackName, const DecompileLimits& limits) {
    DecompileResult result;
    std::error_code ec;
    fs::path root = fs::absolute(fs::path(folder), ec);
    if (ec || (!fs::create_directories(root, ec) && ec) || !fs::is_directory(root, ec)) {
        result.error = ReadError::Aborted;
        result.warnings.push_back("无法创建输出文件夹 " + folder);
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

    std::vector<std::uint8_t> systemBytes, windowsBytes, stringsBytes;
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
            if (keep) {
                ReadError err = archive.read(*e, *keep, kMaxSettingsFile);
                if (err != ReadError::Ok)
                    result.warnings.push_back(e->name + "：" + readErrorText(err));
            }
            continue;
        }
        std::string shown = printableName(e->name);
        if (e->nameHasNul) {
            result.warnings.push_back("已跳过不安全的文件名 \"" + shown +
                                      "\\x00...\"：名称中含有 NUL 字符");
            ++result.filesRefused;
            continue;
        }
        SafeName safe = safeRelativeName(e->name);
        if (!safe.ok) {
            result.warnings.push_back("已跳过不安全的文件名 \"" + shown + "\"：" + safe.reason);
            ++result.filesRefused;
            continue;
        }
        if (!taken.insert(lower(safe.relative)).second) {
            result.warnings.push_back("已跳过 \"" + shown +
                                      "\"：另一个文件与它同名，只是大小写不同");
            ++result.filesRefused;
            continue;
        }
        if (e->length > limits.maxFileSize || total + e->length > limits.maxTotalSize) {
            result.warnings.push_back("已跳过 \"" + shown + "\"：" +
                                      readErrorText(ReadError::TooLarge));
            ++result.filesFailed;
            continue;
        }
        std::string reason;
        if (!makeParents(root, safe.relative, madeFolders, reason)) {
            result.warnings.push_back("已跳过 \"" + shown + "\"：" + reason);
            ++result.filesFailed;
            continue;
        }
        fs::path target = root / fs::path(safe.relative);
        OutputFile out;
        if (!out.open(target)) {
            result.warnings.push_back("已跳过 \"" + shown + "\"：无法创建 " + target.string());
            ++result.filesFailed;
            continue;
        }
        bool writeFailed = false;
        ReaderSink sink = [&](const std::uint8_t* data, std::size_t size) {
            if (!out.write(data, size))
                writeFailed = true;
            return !writeFailed;
        };
        ReadError err = archive.stream(*e, sink, limits.maxFileSize);
        bool closed = out.finish();
        if (err != ReadError::Ok || !closed) {
            fs::remove(target, ec);
            result.warnings.push_back("未能提取 \"" + shown + "\"：" +
                                      (writeFailed || !closed
                                           ? std::string("无法写入 ") + target.string()
                                           : readErrorText(err)));
            ++result.filesFailed;
            continue;
        }
        total += e->length;
        result.bytesWritten += e->length;
        ++result.filesWritten;
        (e->section == 1 ? compileOrder : section0Sources).push_back(safe.relative);
    }
    for (std::string& w : archive.takeWarnings())
        result.warnings.push_back(std::move(w));

    ProjectSource source;
    if (!systemBytes.empty())
        source.system = parseSystem(systemBytes, result.warnings);
    else
        result.warnings.push_back("没有 #SYSTEM：工程文件使用默认选项");
    if (!windowsBytes.empty())
        source.windows = parseWindows(windowsBytes, stringsBytes, result.warnings);
    source.files = std::move(compileOrder);
    source.files.insert(source.files.end(), section0Sources.begin(), section0Sources.end());
    source.fallbackName = fallbackName;

    ProjectText project = buildProject(source);
    // Never let the project file replace an extracted source.
    while (taken.count(lower(project.fileName)))
        project.fileName.insert(project.fileName.size() - 4, "_project");
    fs::path projectPath = root / project.fileName;
    OutputFile out;
    if (!out.open(projectPath) ||
        !out.write(reinterpret_cast<const std::uint8_t*>(project.text.data()),
                   project.text.size()) ||
        !out.finish()) {
        result.warnings.push_back("无法写入工程文件 " + projectPath.string());
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
        result.warnings = archive.takeWarnings();
        return result;
    }
    std::string stem = fs::path(chmPath).stem().string();
    return decompileArchive(archive, folder, stem, limits);
}

} // namespace chm
