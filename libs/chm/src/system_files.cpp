// Builds the internal files of a help file from the project's data: matches the contents and
// index against the stored pages to number the topics, then lays out every table.
//
// Topic numbering follows the compiler the viewers were made for: the stored pages and the
// sitemap files in compile order, then "page#anchor" targets of the contents, then those only
// the index uses. Contents entries are numbered breadth first, a sibling list at a time, at
// the positions a binary table of contents would give them (a 4096-byte header, then 20-byte
// records, 28 bytes for entries with children); #TOPICS carries that position even though no
// binary table of contents is written, and its strings go into #STRINGS in the same order.
#include "chm/system_files.h"

#include "byte_writer.h"
#include "chm/system_tables.h"

#include <algorithm>
#include <cstddef>
#include <deque>
#include <limits>
#include <optional>
#include <unordered_map>

namespace chm {

using detail::putCString;
using detail::putU16;
using detail::putU32;
using detail::putU64;
using detail::putZeros;

namespace {

constexpr char kCompilerVersion[] = "CHM Quorlin hhc 1.1";

constexpr std::uint32_t kContentsHeaderSize = 4096;
constexpr std::uint32_t kContentsEntrySize = 20;
constexpr std::uint32_t kContentsParentSize = 28;

// Seconds between 1601-01-01 (FILETIME's epoch) and 1970-01-01.
constexpr std::uint64_t kFileTimeEpochOffset = 11644473600;

std::string normalizeName(std::string_view s) {
    std::string out(s);
    std::replace(out.begin(), out.end(), '\\', '/');
    const auto first = out.find_first_not_of('/');
    out.erase(0, first == std::string::npos ? out.size() : first);
    return out;
}

std::string foldAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Targets outside this help file get no topic.
bool isExternal(std::string_view url) {
    const std::string folded = foldAscii(url);
    return folded.find("://") != std::string::npos || folded.find("::") != std::string::npos ||
           folded.starts_with("mailto:") || folded.starts_with("javascript:") ||
           folded.starts_with("mk:") || folded.starts_with("ms-its:") || folded.starts_with("its:");
}

char16_t foldWide(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<char16_t>(c + 0x20);
    return c;
}

int compareKeywords(const std::u16string& a, const std::u16string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = foldWide(a[i]);
        const char16_t y = foldWide(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Sorts keywords the way the viewer looks them up (case-insensitively) and merges repeated
// ones, as an index file may list a keyword once per topic.
std::vector<IndexKeyword> sortAndMerge(const std::vector<IndexKeyword>& in) {
    std::vector<IndexKeyword> sorted = in;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return compareKeywords(a.text, b.text) < 0;
    });
    std::vector<IndexKeyword> out;
    for (IndexKeyword& k : sorted) {
        if (!out.empty() && compareKeywords(out.back().text, k.text) == 0 &&
            out.back().seeAlso.empty() && k.seeAlso.empty()) {
            IndexKeyword& prev = out.back();
            prev.targets.insert(prev.targets.end(), k.targets.begin(), k.targets.end());
            prev.children.insert(prev.children.end(), k.children.begin(), k.children.end());
            continue;
        }
        out.push_back(std::move(k));
    }
    for (IndexKeyword& k : out)
        k.children = sortAndMerge(k.children);
    return out;
}

class TopicBuilder {
public:
    explicit TopicBuilder(std::vector<SystemWarning>& warnings) : m_warnings(warnings) {}

    void addStored(const Topic& t) {
        const std::string url = normalizeName(t.local);
        const std::string key = foldAscii(url);
        if (m_byUrl.contains(key)) {
            m_warnings.push_back({SystemWarning::Kind::TopicListedTwice, url, {}, 0, 0});
            return;
        }
        m_byUrl.emplace(key, static_cast<std::uint32_t>(m_records.size()));
        m_records.push_back({url, t.title, true, 0});
    }

    // Topic number for a target, adding a "page#anchor" topic when the page is stored;
    // nothing when the target is not in the help file.
    // `entry` is the contents entry's text, or nullptr for an index keyword.
    std::optional<std::uint32_t> find(const std::string& local, const std::string& title,
                                      const std::string* entry) {
        const std::string url = normalizeName(local);
        const std::string key = foldAscii(url);
        if (auto it = m_byUrl.find(key); it != m_byUrl.end())
            return it->second;
        const auto hash = url.find('#');
        if (hash != std::string::npos && m_byUrl.contains(key.substr(0, hash))) {
            const auto number = static_cast<std::uint32_t>(m_records.size());
            m_byUrl.emplace(key, number);
            m_records.push_back({url, title, false, 0});
            return number;
        }
        if (entry)
            m_warnings.push_back({SystemWarning::Kind::ContentsTargetMissing, *entry, url, 0, 0});
        else
            m_warnings.push_back({SystemWarning::Kind::IndexTargetMissing, {}, url, 0, 0});
        return std::nullopt;
    }

    std::vector<TopicRecord>& records() { return m_records; }

private:
    std::vector<SystemWarning>& m_warnings;
    std::vector<TopicRecord> m_records;
    std::unordered_map<std::string, std::uint32_t> m_byUrl;
};

void walkContents(const std::vector<ContentsEntry>& top, TopicBuilder& topics, StringPool& pool) {
    std::uint32_t position = kContentsHeaderSize;
    std::deque<const std::vector<ContentsEntry>*> groups{&top};
    while (!groups.empty()) {
        const std::vector<ContentsEntry>& group = *groups.front();
        groups.pop_front();
        for (const ContentsEntry& e : group) {
            const std::uint32_t at = position;
            position += e.children.empty() ? kContentsEntrySize : kContentsParentSize;
            if (!e.children.empty())
                groups.push_back(&e.children);
            if (e.local.empty() || isExternal(e.local)) {
                pool.add(e.name);
                continue;
            }
            const auto number = topics.find(e.local, e.name, &e.name);
            if (!number) {
                pool.add(e.name);
                continue;
            }
            TopicRecord& r = topics.records()[*number];
            if (r.title.empty())
                r.title = e.name;
            if (r.contentsOffset == 0)
                r.contentsOffset = at;
            pool.add(r.title);
        }
    }
}

std::u16string joinKeyword(const std::u16string& parent, const std::u16string& own) {
    return parent.empty() ? own : parent + u", " + own;
}

void flattenKeywords(const std::vector<IndexKeyword>& keywords, const std::u16string& parent,
                     std::uint16_t depth, TopicBuilder& topics, std::vector<FlatKeyword>& out) {
    for (const IndexKeyword& k : keywords) {
        FlatKeyword flat;
        flat.text = joinKeyword(parent, k.text);
        flat.depth = depth;
        flat.lastComponentStart =
            parent.empty() ? 0 : static_cast<std::uint32_t>(parent.size() + 2);
        flat.seeAlso = k.seeAlso;
        for (const KeywordTarget& target : k.targets) {
            if (isExternal(target.local) || target.local.empty())
                continue;
            const auto number = topics.find(target.local, target.title, nullptr);
            if (number &&
                std::find(flat.topics.begin(), flat.topics.end(), *number) == flat.topics.end())
                flat.topics.push_back(*number);
        }
        out.push_back(std::move(flat));
        flattenKeywords(k.children, out.back().text, static_cast<std::uint16_t>(depth + 1), topics,
                        out);
    }
}

void putRecord(std::vector<std::uint8_t>& out, SystemCode code,
               const std::vector<std::uint8_t>& data) {
    putU16(out, static_cast<std::uint16_t>(code));
    putU16(out, static_cast<std::uint16_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

void putStringRecord(std::vector<std::uint8_t>& out, SystemCode code, std::string_view s,
                     std::vector<SystemWarning>& warnings) {
    constexpr std::size_t kMax = std::numeric_limits<std::uint16_t>::max() - 1;
    if (const auto nul = s.find('\0'); nul != std::string_view::npos)
        s = s.substr(0, nul);
    if (s.size() > kMax) {
        warnings.push_back({SystemWarning::Kind::SettingCut, {}, {}, s.size(), kMax});
        s = s.substr(0, kMax);
    }
    std::vector<std::uint8_t> data;
    putCString(data, s);
    putRecord(out, code, data);
}

std::vector<std::uint8_t> dwordData(std::uint32_t v) {
    std::vector<std::uint8_t> data;
    putU32(data, v);
    return data;
}

const WindowDefinition* findWindow(const HelpFileInfo& info) {
    const std::string wanted = foldAscii(info.defaultWindow);
    for (const WindowDefinition& w : info.windows)
        if (foldAscii(w.name) == wanted)
            return &w;
    return nullptr;
}

} // namespace

SystemFiles buildSystemFiles(const HelpFileInfo& info, std::vector<SystemWarning>& warnings) {
    StringPool pool;

    // Strings go into the pool in the order the tables refer to them: windows, context ids,
    // sitemap properties, contents, then the remaining topic titles.
    std::vector<WindowDefinition> windows = info.windows;
    for (WindowDefinition& w : windows) {
        for (std::string* file : {&w.contentsFile, &w.indexFile, &w.defaultFile, &w.homeFile})
            *file = normalizeName(*file);
    }
    const std::vector<std::uint8_t> windowBytes = buildWindows(windows, info.compatibility10, pool);

    std::vector<ContextId> contextIds = info.contextIds;
    for (ContextId& id : contextIds)
        id.file = normalizeName(id.file);
    const std::vector<std::uint8_t> contextBytes = buildContextIds(contextIds, pool);

    const SitemapProperties& props = info.contentsProperties;
    for (const std::string* s :
         {&props.imageList, &props.font, &props.frameName, &props.windowName})
        pool.add(*s);
    for (const std::string& merge : info.mergeFiles)
        pool.add(merge);

    TopicBuilder topics(warnings);
    for (const Topic& t : info.topics)
        topics.addStored(t);
    walkContents(info.contents, topics, pool);

    std::vector<FlatKeyword> keywordLinks;
    std::vector<FlatKeyword> associativeLinks;
    if (info.binaryIndex) {
        flattenKeywords(sortAndMerge(info.keywords), u"", 0, topics, keywordLinks);
        flattenKeywords(sortAndMerge(info.associativeKeywords), u"", 0, topics, associativeLinks);
    }

    std::vector<std::string> truncatedUrls;
    const TopicTables tables = buildTopicTables(topics.records(), pool, truncatedUrls);
    for (const std::string& url : truncatedUrls)
        warnings.push_back({SystemWarning::Kind::AddressCut, url, {}, 0, 0});

    const std::uint32_t stamp =
        info.compileTime > 0 ? static_cast<std::uint32_t>(info.compileTime) : 0;
    const std::uint64_t fileTime =
        info.compileTime > 0
            ? (static_cast<std::uint64_t>(info.compileTime) + kFileTimeEpochOffset) * 10000000u
            : 0;
    const std::vector<std::uint8_t> indexHeader = buildIndexHeader(
        props, info.mergeFiles, static_cast<std::uint32_t>(topics.records().size()), stamp, pool);
    constexpr std::size_t kMaxMergeFiles = (index_header::kSize - index_header::kMergeFiles) / 4;
    if (info.mergeFiles.size() > kMaxMergeFiles)
        warnings.push_back({SystemWarning::Kind::TooManyMergeFiles, {}, {}, 0, kMaxMergeFiles});

    std::size_t dropped = 0;
    const KeywordFiles keywordFiles =
        buildKeywordFiles(keywordLinks, info.codePage, info.lcid, dropped);
    const KeywordFiles associativeFiles =
        buildKeywordFiles(associativeLinks, info.codePage, info.lcid, dropped);
    if (dropped != 0)
        warnings.push_back({SystemWarning::Kind::KeywordTopicsDropped, {}, {}, dropped, 0});
    const bool hasKeywordLinks = !keywordFiles.btree.empty();
    const bool hasAssociativeLinks = !associativeFiles.btree.empty();

    for (const std::string& s : pool.truncated())
        warnings.push_back({SystemWarning::Kind::TextCut, s, {}, 0, 4095});

    // #SYSTEM, records in the order viewers are used to.
    std::vector<std::uint8_t> system;
    putU32(system, info.compatibility10 ? system_file::kVersion10 : system_file::kVersion);
    putRecord(system, SystemCode::CompileTime, dwordData(stamp));
    putStringRecord(system, SystemCode::CompilerVersion, kCompilerVersion, warnings);
    {
        std::vector<std::uint8_t> language;
        putU32(language, info.lcid);
        putU32(language, 0); // DBCS
        putU32(language, info.fullTextSearch ? 1 : 0);
        putU32(language, hasKeywordLinks ? 1 : 0);
        putU32(language, hasAssociativeLinks ? 1 : 0);
        putU64(language, fileTime);
        putZeros(language, language_record::kSize - language.size());
        putRecord(system, SystemCode::Language, language);
    }
    putStringRecord(system, SystemCode::DefaultTopic, normalizeName(info.defaultTopic), warnings);
    putStringRecord(system, SystemCode::Title, info.title, warnings);
    if (!info.defaultFont.empty())
        putStringRecord(system, SystemCode::DefaultFont, info.defaultFont, warnings);
    putStringRecord(system, SystemCode::CompiledFile, foldAscii(info.compiledFileBase), warnings);

    // With a default window the viewer finds the contents and index through it; the file
    // names are written as well only where the window does not give them.
    const WindowDefinition* window = nullptr;
    if (!info.defaultWindow.empty()) {
        putStringRecord(system, SystemCode::DefaultWindow, info.defaultWindow, warnings);
        window = findWindow(info);
        if (window == nullptr)
            warnings.push_back(
                {SystemWarning::Kind::DefaultWindowUndefined, info.defaultWindow, {}, 0, 0});
    }
    const bool noWindow = window == nullptr;
    if (!info.contentsFile.empty() && (noWindow || window->contentsFile.empty()))
        putStringRecord(system, SystemCode::ContentsFile, normalizeName(info.contentsFile),
                        warnings);
    if (!info.indexFile.empty() && (noWindow || window->indexFile.empty()))
        putStringRecord(system, SystemCode::IndexFile, normalizeName(info.indexFile), warnings);
    if (hasKeywordLinks)
        putRecord(system, SystemCode::IndexHash, dwordData(urlHash(normalizeName(info.indexFile))));
    putRecord(system, SystemCode::InfoTypeCount, dwordData(0));
    putRecord(system, SystemCode::IndexHeaderCopy, indexHeader);
    putRecord(system, SystemCode::InfoTypeChecksum, dwordData(0));

    SystemFiles files;
    files.uncompressed.push_back({"/#SYSTEM", std::move(system)});
    auto& c = files.compressed;
    if (!windows.empty())
        c.push_back({"/#WINDOWS", windowBytes});
    if (!contextIds.empty())
        c.push_back({"/#IVB", contextBytes});
    const auto addKeywordFiles = [&c](const std::string& folder, const KeywordFiles& k) {
        if (!k.btree.empty()) {
            c.push_back({folder + "/BTree", k.btree});
            c.push_back({folder + "/Data", k.data});
            c.push_back({folder + "/Map", k.map});
        }
        c.push_back({folder + "/Property", k.property});
    };
    addKeywordFiles("/$WWKeywordLinks", keywordFiles);
    addKeywordFiles("/$WWAssociativeLinks", associativeFiles);
    c.push_back({"/$OBJINST", buildObjectInstance(info.codePage, info.lcid)});
    c.push_back({"/#IDXHDR", indexHeader});
    c.push_back({"/#TOPICS", tables.topics});
    c.push_back({"/#URLTBL", tables.urlTable});
    c.push_back({"/#URLSTR", tables.urlStrings});
    c.push_back({"/#STRINGS", pool.bytes()});
    return files;
}

} // namespace chm
