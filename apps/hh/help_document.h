// An open help file as the viewer sees it: its title and start pages, the contents tree and
// the keyword index ready for display, the full-text search with ranked results, and every
// stored file with the type and character set a browser needs. Plain C++ and UTF-8 text, so
// that the same code opens files for the window and for the fuzz target.
#pragma once

#include "chm/reader_archive.h"
#include "chm/reader_settings.h"
#include "chm/search_index.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace hh {

struct ContentsNode {
    std::string title; // UTF-8
    std::string local; // as the sitemap gives it, may carry "#anchor"
    int parent = -1;   // index into the node list; -1 at the top
    int row = 0;       // place among its parent's children
    std::vector<int> children;
};

struct IndexTopic {
    std::string title; // UTF-8; the keyword itself when the sitemap gives no name
    std::string local;
};

struct IndexEntry {
    std::string keyword; // UTF-8
    int depth = 0;       // 0 for a main keyword, 1 for a sub-keyword, ...
    std::vector<IndexTopic> topics;
    std::string seeAlso;
};

struct SearchResult {
    std::string title; // UTF-8; the page name when the topic has no title
    std::string local;
    std::uint32_t termsFound = 0;  // how many of the query's terms the topic holds
    std::uint32_t occurrences = 0; // how often they stand in it, all terms together
};

// A stored file ready to be served to the browser.
struct Resource {
    std::vector<std::uint8_t> bytes;
    std::string mimeType;
    std::string charset; // empty: let the page's own declaration (or BOM) decide
};

class HelpDocument {
public:
    HelpDocument();
    ~HelpDocument();
    HelpDocument(const HelpDocument&) = delete;
    HelpDocument& operator=(const HelpDocument&) = delete;

    // `path` should be absolute: it becomes part of every page's address.
    chm::ReadError open(const std::string& path);
    chm::ReadError openMemory(std::vector<std::uint8_t> bytes, const std::string& path);

    const std::string& path() const { return m_path; }
    const std::string& title() const { return m_title; }
    std::uint32_t codePage() const { return m_codePage; }
    // Width of the navigation pane the help file asks for; 0 when it asks for none.
    int navigationWidth() const { return m_navWidth; }

    const std::vector<ContentsNode>& contents() const { return m_contents; }
    const std::vector<int>& contentsRoots() const { return m_roots; }
    const std::vector<IndexEntry>& index() const { return m_index; }
    // The contents entry for a stored page name ("/dir/page.htm"), -1 when none names it.
    int contentsNodeForPage(const std::string& storedName) const;
    // Entries of the contents that name a page, in reading order (previous/next topic).
    const std::vector<int>& readingOrder() const { return m_readingOrder; }

    // The page shown first: the default topic, else the default window's pages, else the
    // first entry of the contents, else the first page stored.
    std::string startPage() const;
    std::string homePage() const;

    bool hasSearch() const;
    // Topics holding any term of the query (terms are separated by blanks), those holding
    // more terms first, then those where they stand more often.
    chm::SearchError search(const std::string& query, std::vector<SearchResult>& results);

    // The stored name ("/dir/page.htm") of a page as a link or sitemap names it (either
    // separator, any letter case, with or without a leading "/" or "#anchor"); empty when no
    // such file is stored.
    std::string storedName(const std::string& local) const;
    chm::ReadError read(const std::string& storedName, Resource& out);

    std::vector<std::string> takeWarnings();

private:
    chm::ReadError load();
    void loadContents(const std::string& name);
    void loadIndex(const std::string& name);
    std::string readSitemap(const std::string& name);
    const chm::ReaderEntry* findEntry(const std::string& name) const;

    std::unique_ptr<chm::ReaderArchive> m_archive;
    std::string m_path;
    std::string m_title;
    std::uint32_t m_codePage = 1252;
    int m_navWidth = 0;
    chm::SystemSettings m_system;
    chm::WindowSettings m_window;
    std::vector<ContentsNode> m_contents;
    std::vector<int> m_roots;
    std::vector<int> m_readingOrder;
    std::unordered_map<std::string, int> m_nodeByPage; // lower-cased stored name -> first node
    std::vector<IndexEntry> m_index;
    std::unique_ptr<chm::SearchIndex> m_search; // loaded on the first search
    std::vector<chm::TopicEntry> m_topics;
    std::vector<std::string> m_warnings;
    // Stored names, as stored and lower-cased, to their place in the directory.
    mutable std::unordered_map<std::string, std::size_t> m_entryByName;
};

// The help files pages may read: the open one, and others in its folder opened on demand.
class HelpLibrary {
public:
    void setMain(HelpDocument* document);
    HelpDocument* main() const { return m_main; }
    // The document for an absolute file name; nullptr when it cannot be opened.
    HelpDocument* document(const std::string& path);

private:
    HelpDocument* m_main = nullptr;
    std::map<std::string, std::unique_ptr<HelpDocument>> m_others;
};

// The MIME type a browser needs for a stored file, from its name.
std::string mimeTypeForName(const std::string& name);

// The character set to send with a text file: none when the file declares its own (a BOM, a
// <meta> charset, a CSS @charset), UTF-8 when it can only be UTF-8, else the help file's code
// page. Browsers guess when no one tells them, and guess Big5 pages as GBK.
std::string replyCharset(const std::vector<std::uint8_t>& bytes, const std::string& mimeType,
                         std::uint32_t codePage);

} // namespace hh
