// Gathering the files of a project: its [FILES], the pages its contents and index name, and
// the files those pages and style sheets refer to, each stored once under the name the disk
// spells it with.
#include "compiler.h"
#include "hhp/code_page.h"
#include "text/ascii.h"
#include "text_util.h"

namespace hhp::detail {

namespace {

bool isCssName(std::string_view name) {
    return text::endsWithIgnoreCase(name, ".css");
}

} // namespace

bool isHtmlName(std::string_view name) {
    for (const std::string_view extension : {".htm", ".html", ".xhtml", ".shtml", ".hta"})
        if (text::endsWithIgnoreCase(name, extension))
            return true;
    return false;
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
} // namespace hhp::detail
