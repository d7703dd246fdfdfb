// The compile pipeline. It gathers every file the project reaches (its [FILES], the pages its
// contents and index name, the files those pages and style sheets refer to), converts the
// sitemaps to the project's code page, describes the help file for the system-file builder,
// and writes the container atomically.
#include "hhp/compile.h"

#include "compile_search.h"
#include "disk_lookup.h"
#include "hhp/code_page.h"
#include "hhp/link_scan.h"
#include "hhp/project.h"
#include "hhp/sitemap.h"
#include "text_util.h"

#include <algorithm>
#include <chm/container_writer.h>
#include <chm/system_files.h>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace hhp {

namespace fs = std::filesystem;
using text::equalsIgnoreCase;

namespace {

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

bool isHtmlName(std::string_view name) {
    return text::endsWithIgnoreCase(name, ".htm") || text::endsWithIgnoreCase(name, ".html") ||
           text::endsWithIgnoreCase(name, ".xhtml") || text::endsWithIgnoreCase(name, ".shtml") ||
           text::endsWithIgnoreCase(name, ".hta");
}

bool isCssName(std::string_view name) {
    return text::endsWithIgnoreCase(name, ".css");
}

std::string join(const std::vector<std::string>& components) {
    std::string out;
    for (const auto& c : components) {
        if (!out.empty())
            out += '/';
        out += c;
    }
    return out;
}

// One file to store.
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
    bool writeOutput(const std::vector<std::uint8_t>& bytes, CompileResult& result);

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

std::string Compiler::toCodePage(const std::string& text, const std::string& file, int line) {
    if (!isNonAsciiUtf8(text) || m_codePage == 65001)
        return text;
    Conversion c = fromUtf8(text, m_codePage);
    if (c.lossy || !c.ok)
        m_diagnostics.warn(file, line, Problem::TextLossy, {text, std::to_string(m_codePage)});
    return c.text;
}

std::optional<std::size_t> Compiler::addFile(std::string_view name,
                                             const std::vector<std::string>& base,
                                             const std::string& origin, int line, bool quiet,
                                             bool allowOutside) {
    const auto relative = detail::splitRelative(name, base);
    if (relative.components.empty())
        return std::nullopt;
    if (relative.escapes > 0 && !allowOutside)
        return std::nullopt;
    auto found = m_lookup.find(relative);
    if (!found) {
        if (!quiet && m_reportedMissing.insert(missingKey(name)).second)
            m_diagnostics.warn(origin, line, Problem::FileNotFound, {std::string(name)});
        return std::nullopt;
    }
    std::string internal = join(found->components);
    if (relative.escapes > 0) {
        // The help file has no place above its root: such a file is stored under its path
        // below the folder it was found in.
        m_diagnostics.warn(origin, line, Problem::FileOutsideProject,
                           {std::string(name), internal});
    }
    const std::string key = text::toLowerAscii(internal);
    if (auto it = m_byName.find(key); it != m_byName.end()) {
        std::error_code ec;
        if (!fs::equivalent(m_files[it->second].path, found->path, ec))
            m_diagnostics.warn(origin, line, Problem::FileNameCollision,
                               {std::string(name), internal});
        return it->second;
    }
    std::error_code sizeError;
    if (fs::file_size(found->path, sizeError) > kMaxInputFile && !sizeError) {
        m_diagnostics.warn(origin, line, Problem::FileTooLarge,
                           {std::string(name), std::to_string(kMaxInputFile >> 20)});
        return std::nullopt;
    }
    auto data = readFile<std::vector<std::uint8_t>>(found->path, kMaxInputFile);
    if (!data) {
        m_diagnostics.warn(origin, line, Problem::FileUnreadable, {std::string(name)});
        return std::nullopt;
    }
    m_files.push_back({internal, found->path, std::move(*data), false});
    m_byName.emplace(key, m_files.size() - 1);
    return m_files.size() - 1;
}

void Compiler::addFilesEntry(const ProjectName& entry) {
    const std::string& name = entry.name;
    if (name.find_first_of("*?") == std::string::npos) {
        addFile(name, {}, m_projectName, entry.line, false, true);
        return;
    }
    // A wildcard in the last component: every matching file of that folder, in name order.
    const auto slash = name.find_last_of("/\\");
    const std::string folderPart = slash == std::string::npos ? "" : name.substr(0, slash);
    const std::string pattern = slash == std::string::npos ? name : name.substr(slash + 1);
    if (folderPart.find_first_of("*?") != std::string::npos) {
        m_diagnostics.warn(m_projectName, entry.line, Problem::WildcardInFolder, {name});
        return;
    }
    const auto folder = m_lookup.find(detail::splitRelative(folderPart), true);
    std::vector<std::string> matches;
    if (folder)
        matches = m_lookup.match(folder->path, pattern);
    if (matches.empty()) {
        m_diagnostics.warn(m_projectName, entry.line, Problem::WildcardMatchesNone, {name});
        return;
    }
    for (const auto& match : matches)
        addFile(folderPart.empty() ? match : folderPart + "/" + match, {}, m_projectName,
                entry.line, false, true);
}

void Compiler::collectSitemapPages(const std::vector<SitemapItem>& entries,
                                   const std::string& origin) {
    for (const auto& entry : entries) {
        for (const auto& target : entry.topics) {
            const std::string local = localReference(target.local);
            if (!local.empty())
                addFile(local, {}, origin, entry.line, false, false);
        }
        collectSitemapPages(entry.children, origin);
    }
}

void Compiler::readSitemaps() {
    auto readOne = [&](const std::string& name, Sitemap& sitemap, std::string& storedName) {
        if (name.empty())
            return std::optional<std::size_t>{};
        auto index = addFile(name, {}, m_projectName, 0, false, false);
        if (!index)
            return index;
        StoredFile& file = m_files[*index];
        file.isSitemap = true;
        storedName = file.name;
        const std::string display = file.name;
        // Lines that are UTF-8 are stored in the project's code page, which is how every
        // viewer reads a sitemap.
        if (m_codePage != 65001) {
            const std::string converted = convertUtf8Lines(file.text(), m_codePage, [&](int line) {
                m_diagnostics.warn(display, line, Problem::SitemapLineLossy,
                                   {std::to_string(m_codePage)});
            });
            file.data.assign(converted.begin(), converted.end());
        }
        sitemap = parseSitemap(file.text(), display, m_diagnostics);
        return index;
    };
    m_contentsIndex = readOne(m_contentsName, m_contents, m_contentsName);
    m_indexIndex = readOne(m_indexName, m_index, m_indexName);
    if (m_contentsIndex)
        collectSitemapPages(m_contents.items, m_files[*m_contentsIndex].name);
    if (m_indexIndex)
        collectSitemapPages(m_index.items, m_files[*m_indexIndex].name);
}

void Compiler::scanLinks() {
    // Breadth first over pages and style sheets, including those the scan itself adds.
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        if (m_files[i].isSitemap)
            continue;
        const std::string name = m_files[i].name;
        std::vector<std::string> links;
        if (isHtmlName(name))
            links = scanHtmlLinks(m_files[i].text());
        else if (isCssName(name))
            links = scanCssLinks(m_files[i].text());
        else
            continue;
        auto base = detail::splitRelative(name).components;
        base.pop_back();
        for (const auto& link : links)
            addFile(link, base, name, 0, true, false);
    }
}

std::string Compiler::internalNameOf(const std::string& name) {
    const auto relative = detail::splitRelative(localReference(name));
    if (relative.components.empty())
        return detail::slashes(name);
    const std::string key = text::toLowerAscii(join(relative.components));
    if (auto it = m_byName.find(key); it != m_byName.end()) {
        // Keep an anchor the name carried.
        std::string out = m_files[it->second].name;
        if (auto hash = name.find('#'); hash != std::string::npos)
            out += name.substr(hash);
        return out;
    }
    return detail::slashes(name);
}

std::vector<chm::ContentsEntry> Compiler::contentsTree(const std::vector<SitemapItem>& entries) {
    std::vector<chm::ContentsEntry> out;
    for (const auto& entry : entries) {
        chm::ContentsEntry item;
        item.name = entry.name;
        if (!entry.local.empty())
            item.local = internalNameOf(entry.local);
        item.children = contentsTree(entry.children);
        out.push_back(std::move(item));
    }
    return out;
}

std::vector<chm::IndexKeyword> Compiler::keywordTree(const std::vector<SitemapItem>& entries) {
    std::vector<chm::IndexKeyword> out;
    for (const auto& entry : entries) {
        chm::IndexKeyword keyword;
        keyword.text = text::toUtf16(entry.name, m_codePage);
        for (const auto& target : entry.topics)
            keyword.targets.push_back({target.name, internalNameOf(target.local)});
        if (!entry.seeAlso.empty())
            keyword.seeAlso = text::toUtf16(entry.seeAlso, m_codePage);
        keyword.children = keywordTree(entry.children);
        out.push_back(std::move(keyword));
    }
    return out;
}

chm::HelpFileInfo Compiler::describe(const CompileOptions& options) {
    chm::HelpFileInfo info;
    info.lcid = m_project.lcid;
    info.codePage = m_codePage;
    info.compatibility10 = m_project.compatibility10;
    info.compileTime = options.timestamp.value_or(0);
    info.defaultWindow = m_project.defaultWindow;
    info.defaultFont = m_project.defaultFont;
    info.contentsFile = m_contentsName;
    info.indexFile = m_indexName;

    // An undefined default window is reported by the system-file builder, which writes it.
    const WindowDefinition* window =
        m_project.defaultWindow.empty() ? nullptr : m_project.findWindow(m_project.defaultWindow);
    // Projects that set their title and start page only in the default window's definition
    // still get both in the help file.
    std::string title = m_project.title;
    if (title.empty() && window)
        title = window->caption;
    info.title = toCodePage(title, m_projectName, 0);
    std::string topic = m_project.defaultTopic;
    if (topic.empty() && window)
        topic = !window->defaultFile.empty() ? window->defaultFile : window->homeFile;
    if (topic.empty() && !m_project.files.empty() && !m_files.empty())
        topic = m_files.front().name;
    info.defaultTopic = topic.empty() ? std::string() : internalNameOf(topic);

    for (const auto& w : m_project.windows) {
        chm::WindowDefinition out;
        out.name = w.name;
        out.caption = toCodePage(w.caption, m_projectName, w.line);
        out.contentsFile = w.contentsFile.empty() ? "" : internalNameOf(w.contentsFile);
        out.indexFile = w.indexFile.empty() ? "" : internalNameOf(w.indexFile);
        out.defaultFile = w.defaultFile.empty() ? "" : internalNameOf(w.defaultFile);
        out.homeFile = w.homeFile.empty() ? "" : internalNameOf(w.homeFile);
        out.jump1Url = w.jump1Url;
        out.jump1Text = toCodePage(w.jump1Text, m_projectName, w.line);
        out.jump2Url = w.jump2Url;
        out.jump2Text = toCodePage(w.jump2Text, m_projectName, w.line);
        // The valid-members bits of the viewer's window structure, one per numeric group.
        std::uint32_t valid = 0;
        if (w.navigationStyle) {
            out.navigationStyle = *w.navigationStyle;
            valid |= 0x2;
        }
        if (w.styles) {
            out.windowStyle = *w.styles;
            valid |= 0x4;
        }
        if (w.extendedStyles) {
            out.extendedStyle = *w.extendedStyles;
            valid |= 0x8;
        }
        if (w.position) {
            out.left = (*w.position)[0];
            out.top = (*w.position)[1];
            out.right = (*w.position)[2];
            out.bottom = (*w.position)[3];
            valid |= 0x10;
        }
        if (w.navigationWidth) {
            out.navPaneWidth = static_cast<std::uint32_t>(*w.navigationWidth);
            valid |= 0x20;
        }
        if (w.showState) {
            out.showState = static_cast<std::uint32_t>(*w.showState);
            valid |= 0x40;
        }
        if (w.buttons) {
            out.buttons = *w.buttons;
            valid |= 0x100;
        }
        if (w.navigationClosed) {
            out.navPaneInitiallyClosed = static_cast<std::uint32_t>(*w.navigationClosed);
            valid |= 0x200;
        }
        if (w.tabPosition) {
            out.tabPosition = static_cast<std::uint32_t>(*w.tabPosition);
            valid |= 0x400;
        }
        if (w.defaultTab) {
            out.defaultPane = static_cast<std::uint32_t>(*w.defaultTab);
            valid |= 0x2000;
        }
        if (w.notifyId)
            out.notificationId = static_cast<std::uint32_t>(*w.notifyId);
        out.validMembers = valid;
        info.windows.push_back(std::move(out));
    }

    for (const auto& file : m_files) {
        if (file.isSitemap)
            continue;
        if (!isHtmlName(file.name))
            continue;
        info.topics.push_back({file.name, toCodePage(pageTitle(file.text()), file.name, 0)});
    }
    for (const auto& file : m_files)
        if (file.isSitemap)
            info.topics.push_back({file.name, {}});

    info.contents = contentsTree(m_contents.items);
    chm::SitemapProperties& props = info.contentsProperties;
    props.imageList = m_contents.property("ImageList");
    props.imageTypeFolder = equalsIgnoreCase(m_contents.property("ImageType"), "Folder");
    auto number = [&](const char* key) -> std::optional<std::uint32_t> {
        const std::string value = m_contents.property(key);
        return value.empty() ? std::nullopt : detail::parseNumber(value);
    };
    props.background = number("Background");
    props.foreground = number("Foreground");
    props.windowStyles = number("Window Styles");
    props.exWindowStyles = number("ExWindow Styles");
    props.font = m_contents.property("Font");
    props.frameName = m_contents.property("FrameName");
    props.windowName = m_contents.property("WindowName");

    if (m_project.binaryIndex && m_indexIndex) {
        info.keywords = keywordTree(m_index.items);
        info.binaryIndex = !info.keywords.empty();
    }

    // Context help: [MAP] gives each name its number, [ALIAS] its page.
    for (const auto& alias : m_project.aliases) {
        auto it = std::find_if(m_project.map.begin(), m_project.map.end(),
                               [&](const MapEntry& m) { return m.id == alias.id; });
        if (it == m_project.map.end()) {
            m_diagnostics.warn(alias.sourceFile, alias.line, Problem::AliasWithoutMap, {alias.id});
            continue;
        }
        auto index = addFile(alias.file, {}, alias.sourceFile, alias.line, false, false);
        info.contextIds.push_back(
            {it->number, index ? m_files[*index].name : detail::slashes(alias.file)});
    }
    for (const auto& merge : m_project.mergeFiles)
        info.mergeFiles.push_back(merge.name);
    return info;
}

Compiler::SearchInput Compiler::searchInput() {
    // The pages are the first topics, numbered in the order describe() lists them.
    SearchInput input;
    std::uint32_t topic = 0;
    for (const auto& file : m_files) {
        if (file.isSitemap || !isHtmlName(file.name))
            continue;
        input.pages.push_back({topic++, file.text()});
    }
    if (!m_project.stopListFile.empty()) {
        auto found = m_lookup.find(detail::splitRelative(m_project.stopListFile));
        if (found)
            input.stopList = readFile(found->path, kMaxTextFile);
        if (!input.stopList)
            m_diagnostics.warn(m_projectName, 0, Problem::StopListUnreadable,
                               {m_project.stopListFile});
    }
    return input;
}

void Compiler::reportSystemWarnings(const std::vector<chm::SystemWarning>& warnings) {
    using Kind = chm::SystemWarning::Kind;
    for (const chm::SystemWarning& w : warnings) {
        switch (w.kind) {
        case Kind::TopicListedTwice:
            m_diagnostics.warn(m_projectName, 0, Problem::TopicListedTwice, {w.subject});
            break;
        case Kind::ContentsTargetMissing:
        case Kind::IndexTargetMissing: {
            // A page the sitemap names was already reported as not found when it was gathered.
            if (m_reportedMissing.count(missingKey(w.target)))
                break;
            const bool contents = w.kind == Kind::ContentsTargetMissing;
            const std::string& sitemap = contents ? m_contentsName : m_indexName;
            if (contents)
                m_diagnostics.warn(sitemap, 0, Problem::ContentsTargetMissing,
                                   {w.subject, w.target});
            else
                m_diagnostics.warn(sitemap, 0, Problem::IndexTargetMissing, {w.target});
            break;
        }
        case Kind::SettingCut:
            m_diagnostics.warn(m_projectName, 0, Problem::SettingCut,
                               {std::to_string(w.count), std::to_string(w.limit)});
            break;
        case Kind::AddressCut:
            m_diagnostics.warn(m_projectName, 0, Problem::AddressCut, {w.subject.substr(0, 60)});
            break;
        case Kind::TextCut:
            m_diagnostics.warn(m_projectName, 0, Problem::TextCut,
                               {w.subject.substr(0, 60), std::to_string(w.limit)});
            break;
        case Kind::TooManyMergeFiles:
            m_diagnostics.warn(m_projectName, 0, Problem::TooManyMergeFiles,
                               {std::to_string(w.limit)});
            break;
        case Kind::KeywordTopicsDropped:
            m_diagnostics.warn(m_indexName, 0, Problem::KeywordTopicsDropped,
                               {std::to_string(w.count)});
            break;
        case Kind::DefaultWindowUndefined:
            m_diagnostics.warn(m_projectName, 0, Problem::DefaultWindowUndefined, {w.subject});
            break;
        }
    }
}

bool Compiler::writeOutput(const std::vector<std::uint8_t>& bytes, CompileResult& result) {
    const fs::path target = result.outputPath;
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        m_diagnostics.error(result.outputPath, 0, Problem::OutputNotCreated);
        return false;
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    fchmod(fd, 0644);
    const bool complete = written == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    std::error_code ec;
    if (!complete) {
        fs::remove(pattern, ec);
        m_diagnostics.error(result.outputPath, 0, Problem::OutputNotWritten);
        return false;
    }
    fs::rename(pattern, target, ec);
    if (ec) {
        fs::remove(pattern, ec);
        m_diagnostics.error(result.outputPath, 0, Problem::OutputNotReplaced);
        return false;
    }
    return true;
}

CompileResult Compiler::run(const CompileOptions& options) {
    CompileResult result;
    m_projectName = m_projectPath.string();
    auto text = readFile(m_projectPath, kMaxTextFile);
    if (!text) {
        m_diagnostics.error(m_projectName, 0, Problem::ProjectUnreadable);
        return result;
    }
    IncludeReader includes = [this](const std::string& name) -> std::optional<std::string> {
        auto found = m_lookup.find(detail::splitRelative(name));
        return found ? readFile(found->path, kMaxTextFile) : std::nullopt;
    };
    m_project = parseProject(*text, m_projectName, includes, m_diagnostics);
    m_codePage = codePageForLcid(m_project.lcid);
    result.displayNotes = m_project.displayNotes;
    if (!m_project.errorLogFile.empty())
        result.errorLogFile = (m_lookup.root() / detail::slashes(m_project.errorLogFile)).string();

    std::string compiled = m_project.compiledFile;
    if (compiled.empty())
        compiled = m_projectPath.stem().string() + ".chm";
    const fs::path output = m_lookup.root() / detail::slashes(compiled);
    result.outputPath = output.lexically_normal().string();
    std::error_code ec;
    if (!fs::is_directory(output.parent_path().empty() ? fs::path(".") : output.parent_path(),
                          ec)) {
        m_diagnostics.error(m_projectName, 0, Problem::OutputFolderMissing, {compiled});
        return result;
    }
    // Found now rather than when the finished file cannot take its place.
    if (fs::is_directory(output, ec)) {
        m_diagnostics.error(m_projectName, 0, Problem::OutputIsFolder, {compiled});
        return result;
    }

    note(Step::ReadingFiles);
    for (const auto& entry : m_project.files)
        addFilesEntry(entry);

    const WindowDefinition* window =
        m_project.defaultWindow.empty() ? nullptr : m_project.findWindow(m_project.defaultWindow);
    m_contentsName = m_project.contentsFile;
    m_indexName = m_project.indexFile;
    if (window && m_contentsName.empty())
        m_contentsName = window->contentsFile;
    if (window && m_indexName.empty())
        m_indexName = window->indexFile;
    readSitemaps();
    if (!m_project.defaultTopic.empty())
        addFile(m_project.defaultTopic, {}, m_projectName, 0, false, false);
    for (const auto& w : m_project.windows)
        for (const auto* name : {&w.defaultFile, &w.homeFile})
            if (!name->empty())
                addFile(localReference(*name), {}, m_projectName, w.line, false, false);
    for (const auto& popup : m_project.textPopups)
        addFile(popup.name, {}, m_projectName, popup.line, false, true);

    note(Step::FollowingLinks);
    scanLinks();

    chm::HelpFileInfo info = describe(options);
    SearchInput search;
    if (m_project.fullTextSearch) {
        note(Step::BuildingSearchIndex);
        search = searchInput();
        info.fullTextSearch = true;
    }
    std::vector<chm::SystemWarning> systemWarnings;
    note(Step::BuildingSystemFiles);
    chm::SystemFiles system = chm::buildSystemFiles(info, systemWarnings);
    reportSystemWarnings(systemWarnings);

    chm::ContainerOptions containerOptions;
    containerOptions.lcid = m_project.lcid;
    containerOptions.timestamp =
        options.timestamp ? static_cast<std::uint32_t>(*options.timestamp) : 0;
    containerOptions.threads = options.threads;
    chm::ContainerWriter writer(containerOptions);

    // Pages first, in the order they were gathered, then the sitemaps, then internal files.
    // A file that cannot be stored keeps its data, which the search index may still read.
    auto store = [&](const std::string& name, std::vector<std::uint8_t>& data,
                     chm::Section section) {
        const auto error = writer.takeFile("/" + name, data, section);
        if (error == chm::WriteError::None)
            return true;
        m_diagnostics.warn(m_projectName, 0, Problem::FileNotStorable, {name});
        return false;
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (auto& file : m_files) {
            if (file.isSitemap != (pass == 1))
                continue;
            result.bytesIn += file.data.size();
            if (store(file.name, file.data, chm::Section::Compressed))
                ++result.fileCount;
        }
    }
    for (auto& file : system.uncompressed)
        writer.addFile(file.name, std::move(file.data), chm::Section::Uncompressed);
    for (auto& file : system.compressed)
        writer.addFile(file.name, std::move(file.data), chm::Section::Compressed);
    // The search index is made while the pages are compressed, and stored after them.
    std::uint32_t skippedWords = 0;
    if (info.fullTextSearch)
        writer.addLateFile("/$FIftiMain", [&] {
            auto index = detail::buildSearchIndex(search.pages, search.stopList, m_codePage,
                                                  m_project.lcid, options.threads);
            skippedWords = index.skippedWords;
            return std::move(index.bytes);
        });
    result.topicCount = info.topics.size();

    note(Step::Compressing);
    std::vector<std::uint8_t> bytes;
    const chm::WriteError built = writer.build(bytes);
    if (skippedWords > 0)
        note(Step::WordsNotIndexed, {std::to_string(skippedWords), std::to_string(m_codePage)});
    if (built != chm::WriteError::None) {
        m_diagnostics.error(m_projectName, 0, Problem::HelpFileTooLarge);
        return result;
    }
    note(Step::Writing, {result.outputPath});
    if (!writeOutput(bytes, result))
        return result;
    result.bytesOut = bytes.size();
    result.ok = true;
    return result;
}

} // namespace

CompileResult compile(const std::string& projectPath, const CompileOptions& options,
                      Diagnostics& diagnostics, const ProgressSink& progress) {
    try {
        // A project named with Windows separators is found too, unless the name exists as
        // given (a '\\' is an ordinary character in a POSIX file name).
        fs::path path = projectPath;
        std::error_code ec;
        if (!fs::exists(path, ec) && fs::exists(detail::slashes(projectPath), ec))
            path = detail::slashes(projectPath);
        Compiler compiler(path, diagnostics, progress);
        return compiler.run(options);
    } catch (const std::exception& e) {
        diagnostics.error(projectPath, 0, Problem::Internal, {e.what()});
    } catch (...) {
        diagnostics.error(projectPath, 0, Problem::Internal);
    }
    return {};
}

} // namespace hhp
