#include "help_document.h"

#include "chm/reader_sitemap.h"
#include "help_url.h"
#include "text/ascii.h"
#include "text/code_page.h"

#include <algorithm>

namespace hh {

namespace {

// Pages, images and sitemaps bigger than this are not help content; refuse them.
constexpr std::uint64_t kMaxResource = 64u << 20;
// How far into a page a character set declaration is looked for; browsers look as far.
constexpr std::size_t kCharsetPrescan = 4096;

std::string withoutAnchor(const std::string& local) {
    return local.substr(0, local.find('#'));
}

bool hasBom(const std::vector<std::uint8_t>& b) {
    return (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) ||
           (b.size() >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)));
}

// True when a <meta> tag in the head of the page names a character set.
bool declaresCharset(const std::string& head) {
    for (std::size_t at = head.find("<meta"); at != std::string::npos;
         at = head.find("<meta", at + 5)) {
        const std::size_t end = head.find('>', at);
        const std::size_t found = head.find("charset", at);
        if (found != std::string::npos && (end == std::string::npos || found < end))
            return true;
    }
    return false;
}

} // namespace

std::string mimeTypeForName(const std::string& name) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {".htm", "text/html"},         {".html", "text/html"},
        {".hhc", "text/html"},         {".hhk", "text/html"},
        {".css", "text/css"},          {".js", "text/javascript"},
        {".txt", "text/plain"},        {".xml", "text/xml"},
        {".json", "application/json"}, {".png", "image/png"},
        {".gif", "image/gif"},         {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},       {".bmp", "image/bmp"},
        {".ico", "image/x-icon"},      {".svg", "image/svg+xml"},
        {".webp", "image/webp"},       {".woff", "font/woff"},
        {".woff2", "font/woff2"},      {".ttf", "font/ttf"},
        {".otf", "font/otf"},          {".mp3", "audio/mpeg"},
        {".wav", "audio/wav"},         {".mp4", "video/mp4"},
        {".pdf", "application/pdf"},   {".xhtml", "application/xhtml+xml"},
    };
    for (const auto& [extension, type] : kTypes)
        if (text::endsWithIgnoreCase(name, extension))
            return type;
    return "application/octet-stream";
}

std::string replyCharset(const std::vector<std::uint8_t>& bytes, const std::string& mimeType,
                         std::uint32_t codePage) {
    const bool html = mimeType == "text/html" || mimeType == "application/xhtml+xml";
    if (!html && mimeType != "text/css" && mimeType != "text/javascript" &&
        mimeType != "text/plain" && mimeType != "text/xml")
        return {};
    if (hasBom(bytes))
        return {};
    const std::string head = text::toLowerAscii(std::string(
        bytes.begin(),
        bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), kCharsetPrescan))));
    if (html && declaresCharset(head))
        return {};
    if (mimeType == "text/css" && head.rfind("@charset", 0) == 0)
        return {};
    if (mimeType == "text/xml" && head.rfind("<?xml", 0) == 0 &&
        head.find("encoding", 0) < head.find("?>"))
        return {};
    const std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text::isNonAsciiUtf8(all))
        return "UTF-8";
    return text::webCharsetForCodePage(codePage);
}

HelpDocument::HelpDocument() : m_archive(std::make_unique<chm::ReaderArchive>()) {}
HelpDocument::~HelpDocument() = default;

chm::ReadError HelpDocument::open(const std::string& path) {
    m_path = path;
    const chm::ReadError error = m_archive->openFile(path);
    return error == chm::ReadError::Ok ? load() : error;
}

chm::ReadError HelpDocument::openMemory(std::vector<std::uint8_t> bytes, const std::string& path) {
    m_path = path;
    const chm::ReadError error = m_archive->openMemory(std::move(bytes));
    return error == chm::ReadError::Ok ? load() : error;
}

chm::ReadError HelpDocument::load() {
    std::vector<std::uint8_t> bytes;
    if (m_archive->read("/#SYSTEM", bytes, kMaxResource) == chm::ReadError::Ok)
        m_system = chm::parseSystem(bytes, m_warnings);
    std::vector<std::uint8_t> windows, strings;
    if (m_archive->read("/#WINDOWS", windows, kMaxResource) == chm::ReadError::Ok) {
        m_archive->read("/#STRINGS", strings, kMaxResource);
        for (chm::WindowSettings& w : chm::parseWindows(windows, strings, m_warnings))
            if (!m_system.defaultWindow.empty() &&
                text::equalsIgnoreCase(w.name, m_system.defaultWindow))
                m_window = std::move(w);
    }
    if (m_system.lcid)
        m_codePage = text::codePageForLcid(*m_system.lcid);
    if (m_window.navWidth >= 100 && m_window.navWidth <= 800)
        m_navWidth = static_cast<int>(m_window.navWidth);

    // A sitemap the settings do not name is still found when it is the only one of its kind.
    auto pick = [&](const std::string& fromSystem, const std::string& fromWindow,
                    const char* extension) {
        if (!fromSystem.empty())
            return fromSystem;
        if (!fromWindow.empty())
            return fromWindow;
        std::string only;
        for (const chm::ReaderEntry& e : m_archive->entries()) {
            if (text::endsWithIgnoreCase(e.name, extension)) {
                if (!only.empty())
                    return std::string();
                only = e.name;
            }
        }
        return only;
    };
    loadContents(pick(m_system.contentsFile, m_window.toc, ".hhc"));
    loadIndex(pick(m_system.indexFile, m_window.index, ".hhk"));

    m_title = text::displayUtf8(m_system.title, m_codePage);
    if (m_title.empty())
        m_title = text::displayUtf8(m_window.caption, m_codePage);
    return chm::ReadError::Ok;
}

std::string HelpDocument::readSitemap(const std::string& name) {
    // Sitemaps are stored in the help file's code page. They are read as Unicode before their
    // character references are expanded, so "&#30446;" and the text around it end up in one
    // encoding. A byte-order mark is a marker, not text.
    std::vector<std::uint8_t> bytes;
    if (name.empty() || m_archive->read(name, bytes, kMaxResource) != chm::ReadError::Ok)
        return {};
    std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (raw.substr(0, 3) == "\xEF\xBB\xBF")
        raw.remove_prefix(3);
    return text::displayUtf8(raw, m_codePage);
}

void HelpDocument::loadContents(const std::string& name) {
    const std::string sitemap = readSitemap(name);
    if (sitemap.empty())
        return;
    const chm::Sitemap map = chm::parseSitemap(sitemap);
    // Flattened in reading order; the parser bounds the nesting, so recursion is shallow.
    auto add = [&](auto&& self, const std::vector<chm::SitemapItem>& items, int parent) -> void {
        int row = 0;
        for (const chm::SitemapItem& item : items) {
            const int node = static_cast<int>(m_contents.size());
            ContentsNode entry;
            entry.title = item.name;
            entry.local = item.local;
            entry.parent = parent;
            entry.row = row++;
            m_contents.push_back(std::move(entry));
            (parent < 0 ? m_roots : m_contents[static_cast<std::size_t>(parent)].children)
                .push_back(node);
            if (!item.local.empty()) {
                const std::string stored = storedName(item.local);
                if (!stored.empty()) {
                    m_nodeByPage.emplace(text::toLowerAscii(stored), node);
                    m_readingOrder.push_back(node);
                }
            }
            self(self, item.children, node);
        }
    };
    add(add, map.items, -1);
}

void HelpDocument::loadIndex(const std::string& name) {
    const std::string sitemap = readSitemap(name);
    if (sitemap.empty())
        return;
    auto add = [&](auto&& self, const std::vector<chm::SitemapItem>& items, int depth) -> void {
        for (const chm::SitemapItem& item : items) {
            IndexEntry entry;
            entry.keyword = item.name;
            entry.depth = depth;
            entry.seeAlso = item.seeAlso;
            for (const chm::SitemapTopic& t : item.topics)
                if (!t.local.empty())
                    entry.topics.push_back({t.name.empty() ? item.name : t.name, t.local});
            m_index.push_back(std::move(entry));
            self(self, item.children, depth + 1);
        }
    };
    add(add, chm::parseSitemap(sitemap).items, 0);
}

int HelpDocument::contentsNodeForPage(const std::string& stored) const {
    const auto it = m_nodeByPage.find(text::toLowerAscii(stored));
    return it == m_nodeByPage.end() ? -1 : it->second;
}

std::string HelpDocument::startPage() const {
    for (const std::string* candidate :
         {&m_system.defaultTopic, &m_window.defaultFile, &m_window.home})
        if (!candidate->empty() && !storedName(*candidate).empty())
            return *candidate;
    if (!m_readingOrder.empty())
        return m_contents[static_cast<std::size_t>(m_readingOrder.front())].local;
    for (const chm::ReaderEntry& e : m_archive->entries())
        if (text::endsWithIgnoreCase(e.name, ".htm") || text::endsWithIgnoreCase(e.name, ".html"))
            return e.name;
    return {};
}

std::string HelpDocument::homePage() const {
    if (!m_window.home.empty() && !storedName(m_window.home).empty())
        return m_window.home;
    return startPage();
}

std::string HelpDocument::storedName(const std::string& local) const {
    std::string page = withoutAnchor(local);
    // Sitemaps of some compilers give whole addresses ("ms-its:FILE.chm::/page.htm").
    if (const std::size_t sep = page.find("::"); sep != std::string::npos)
        page = page.substr(sep + 2);
    page = normalizePageName(page);
    const chm::ReaderEntry* entry = findEntry(page);
    return entry ? entry->name : std::string();
}

const chm::ReaderEntry* HelpDocument::findEntry(const std::string& name) const {
    // The contents of a big help file name thousands of pages; look them up by hash.
    if (m_entryByName.empty()) {
        const auto& entries = m_archive->entries();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            m_entryByName.emplace(entries[i].name, i);
            m_entryByName.emplace(text::toLowerAscii(entries[i].name), i);
        }
    }
    auto it = m_entryByName.find(name);
    if (it == m_entryByName.end())
        it = m_entryByName.find(text::toLowerAscii(name));
    return it == m_entryByName.end() ? nullptr : &m_archive->entries()[it->second];
}

chm::ReadError HelpDocument::read(const std::string& stored, Resource& out) {
    const chm::ReaderEntry* entry = findEntry(stored);
    if (!entry)
        return chm::ReadError::NotFound;
    const chm::ReadError error = m_archive->read(*entry, out.bytes, kMaxResource);
    if (error != chm::ReadError::Ok)
        return error;
    out.mimeType = mimeTypeForName(entry->name);
    out.charset = replyCharset(out.bytes, out.mimeType, m_codePage);
    return chm::ReadError::Ok;
}

bool HelpDocument::hasSearch() const {
    const chm::ReaderEntry* entry = m_archive->find("/$FIftiMain");
    return entry && entry->length > 0;
}

chm::SearchError HelpDocument::search(const std::string& query,
                                      std::vector<SearchResult>& results) {
    results.clear();
    if (!m_search) {
        std::vector<std::uint8_t> bytes;
        if (m_archive->read("/$FIftiMain", bytes, kMaxResource) != chm::ReadError::Ok)
            return chm::SearchError::ReadFailed;
        auto index = std::make_unique<chm::SearchIndex>();
        if (const chm::SearchError e = index->load(std::move(bytes)); e != chm::SearchError::Ok)
            return e;
        m_search = std::move(index);
        m_topics = chm::readTopics(*m_archive);
    }
    std::vector<chm::RankedTopic> ranked;
    if (const chm::SearchError e = chm::rankedSearch(*m_search, query, ranked);
        e != chm::SearchError::Ok)
        return e;
    for (const chm::RankedTopic& r : ranked) {
        if (r.topic >= m_topics.size())
            continue;
        const chm::TopicEntry& topic = m_topics[r.topic];
        SearchResult result;
        result.title = text::displayUtf8(topic.title, m_codePage);
        result.local = topic.url;
        if (result.title.empty())
            result.title = topic.url;
        result.termsFound = r.termsFound;
        result.occurrences = r.occurrences;
        results.push_back(std::move(result));
    }
    return chm::SearchError::Ok;
}

std::vector<std::string> HelpDocument::takeWarnings() {
    std::vector<std::string> out = std::move(m_warnings);
    m_warnings.clear();
    for (std::string& w : m_archive->takeWarnings())
        out.push_back(std::move(w));
    return out;
}

void HelpLibrary::setMain(HelpDocument* document) {
    m_main = document;
    m_others.clear();
}

HelpDocument* HelpLibrary::document(const std::string& path) {
    if (m_main && path == m_main->path())
        return m_main;
    auto it = m_others.find(path);
    if (it == m_others.end()) {
        auto doc = std::make_unique<HelpDocument>();
        if (doc->open(path) != chm::ReadError::Ok)
            doc.reset();
        it = m_others.emplace(path, std::move(doc)).first;
    }
    return it->second.get();
}

} // namespace hh
