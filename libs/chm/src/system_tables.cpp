// The string pool and the fixed-layout tables: #URLSTR, #URLTBL, #TOPICS, #WINDOWS, #IVB,
// #IDXHDR and $OBJINST.
//
// Layout notes, as the viewer reads these files:
// - #STRINGS and #URLSTR are read a 4096-byte block at a time, so a string or URL record never
//   runs across a block boundary; it moves to the start of the next block and the gap is
//   zero-filled. Both files begin with one filler byte so that offset 0 means "none".
// - #URLTBL holds 12-byte records sorted by URL hash, 341 to a block; a full block that another
//   follows ends with the DWORD 0x1000.
// - #IDXHDR is always 4096 bytes; properties that are not set are written as 0xFFFFFFFF, not 0.
// - #WINDOWS entries are the viewer's window-type record with each text replaced by its
//   #STRINGS offset: 196 bytes each, 188 for files compatible with the first viewer version.
#include "chm/system_tables.h"

#include "system_bytes.h"

#include <algorithm>
#include <numeric>

namespace chm {

using detail::patchU32;
using detail::putCString;
using detail::putU16;
using detail::putU32;
using detail::putZeros;

namespace {

constexpr std::uint32_t kNotSet = 0xFFFFFFFF;
constexpr std::size_t kUrlRecordsPerBlock = 341; // 341 * 12 = 4092, plus the block's end DWORD
constexpr std::uint32_t kUrlBlockEndMark = 0x1000;
constexpr std::size_t kUrlStringHeader = 8; // two DWORDs (external URL, frame name), always 0

constexpr std::uint16_t kTopicIsFile = 0x2;
constexpr std::uint16_t kTopicInContents = 0x4;

// Window record sizes: the later layout appends cbInfoTypes and pszCustomTabs.
constexpr std::uint32_t kWindowEntrySize = 196;
constexpr std::uint32_t kWindowEntrySize10 = 188;

constexpr std::size_t kIndexHeaderSize = 4096;
constexpr std::size_t kIndexHeaderMergeList = 0x50;

std::string_view untilNul(std::string_view s) {
    const auto nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

// Pads out so that an item of size bytes starting at the end stays inside one block.
void keepInsideBlock(std::vector<std::uint8_t>& out, std::size_t size) {
    const std::size_t used = out.size() % kTableBlockSize;
    if (used + size > kTableBlockSize)
        putZeros(out, kTableBlockSize - used);
}

void putGuid(std::vector<std::uint8_t>& out, std::uint32_t d1, std::uint16_t d2, std::uint16_t d3,
             std::uint64_t d4BigEndian) {
    putU32(out, d1);
    putU16(out, d2);
    putU16(out, d3);
    for (int shift = 56; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(d4BigEndian >> shift));
}

} // namespace

std::uint32_t urlHash(std::string_view url) {
    std::uint32_t hash = 0;
    for (char ch : url) {
        auto c = static_cast<std::uint8_t>(ch);
        if (c == '/')
            c = '\\';
        else if (c >= 'a' && c <= 'z')
            c = static_cast<std::uint8_t>(c - 0x20);
        const std::uint32_t value = c == '_' ? 0x0Fu : static_cast<std::uint32_t>(c) - 0x30u;
        hash = hash * 43u + value; // unsigned wrap-around, as the table expects
    }
    return hash;
}

StringPool::StringPool() : m_bytes(1, 0) {}

std::uint32_t StringPool::add(std::string_view s) {
    s = untilNul(s);
    if (s.empty())
        return 0;
    std::string key(s);
    if (auto it = m_offsets.find(key); it != m_offsets.end())
        return it->second;
    std::string_view stored = s;
    if (stored.size() > kTableBlockSize - 1) {
        stored = stored.substr(0, kTableBlockSize - 1);
        m_truncated.push_back(key);
    }
    keepInsideBlock(m_bytes, stored.size() + 1);
    const auto offset = static_cast<std::uint32_t>(m_bytes.size());
    putCString(m_bytes, stored);
    m_offsets.emplace(std::move(key), offset);
    return offset;
}

TopicTables buildTopicTables(const std::vector<TopicRecord>& topics, StringPool& pool,
                             std::vector<std::string>& truncatedUrls) {
    TopicTables tables;

    // #URLSTR in topic order.
    std::vector<std::uint32_t> urlStringOffset(topics.size());
    tables.urlStrings.push_back(0);
    constexpr std::size_t kMaxUrl = kTableBlockSize - kUrlStringHeader - 1;
    std::vector<std::string> storedUrls(topics.size());
    for (std::size_t i = 0; i < topics.size(); ++i) {
        std::string url(untilNul(topics[i].url));
        if (url.size() > kMaxUrl) {
            truncatedUrls.push_back(url);
            url.resize(kMaxUrl);
        }
        keepInsideBlock(tables.urlStrings, kUrlStringHeader + url.size() + 1);
        urlStringOffset[i] = static_cast<std::uint32_t>(tables.urlStrings.size());
        putU32(tables.urlStrings, 0);
        putU32(tables.urlStrings, 0);
        putCString(tables.urlStrings, url);
        storedUrls[i] = std::move(url);
    }

    // #URLTBL sorted by hash; equal hashes keep topic order.
    std::vector<std::uint32_t> hashes(topics.size());
    for (std::size_t i = 0; i < topics.size(); ++i)
        hashes[i] = urlHash(storedUrls[i]);
    std::vector<std::size_t> order(topics.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return hashes[a] < hashes[b]; });
    std::vector<std::uint32_t> urlTableOffset(topics.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k != 0 && k % kUrlRecordsPerBlock == 0)
            putU32(tables.urlTable, kUrlBlockEndMark);
        const std::size_t topic = order[k];
        urlTableOffset[topic] = static_cast<std::uint32_t>(tables.urlTable.size());
        putU32(tables.urlTable, hashes[topic]);
        putU32(tables.urlTable, static_cast<std::uint32_t>(topic));
        putU32(tables.urlTable, urlStringOffset[topic]);
    }

    // #TOPICS.
    for (std::size_t i = 0; i < topics.size(); ++i) {
        const TopicRecord& topic = topics[i];
        const std::uint32_t title = topic.title.empty() ? kNotSet : pool.add(topic.title);
        std::uint16_t flags = 0;
        if (topic.storedFile)
            flags |= kTopicIsFile;
        if (topic.contentsOffset != 0)
            flags |= kTopicInContents;
        putU32(tables.topics, topic.contentsOffset);
        putU32(tables.topics, title == 0 ? kNotSet : title);
        putU32(tables.topics, urlTableOffset[i]);
        putU16(tables.topics, flags);
        putU16(tables.topics, 0);
    }
    return tables;
}

std::vector<std::uint8_t> buildWindows(const std::vector<WindowDefinition>& windows,
                                       bool compatibility10, StringPool& pool) {
    const std::uint32_t entrySize = compatibility10 ? kWindowEntrySize10 : kWindowEntrySize;
    std::vector<std::uint8_t> out;
    putU32(out, static_cast<std::uint32_t>(windows.size()));
    putU32(out, entrySize);
    for (const WindowDefinition& w : windows) {
        // Strings in the order the record names them.
        const std::uint32_t type = pool.add(w.name);
        const std::uint32_t caption = pool.add(w.caption);
        const std::uint32_t toc = pool.add(w.contentsFile);
        const std::uint32_t index = pool.add(w.indexFile);
        const std::uint32_t file = pool.add(w.defaultFile);
        const std::uint32_t home = pool.add(w.homeFile);
        const std::uint32_t jump1Text = pool.add(w.jump1Text);
        const std::uint32_t jump2Text = pool.add(w.jump2Text);
        const std::uint32_t jump1Url = pool.add(w.jump1Url);
        const std::uint32_t jump2Url = pool.add(w.jump2Url);

        const std::size_t start = out.size();
        putU32(out, entrySize);                          // 0x00 record size
        putU32(out, 0);                                  // 0x04 strings are 8-bit
        putU32(out, type);                               // 0x08 window type name
        putU32(out, w.validMembers);                     // 0x0C which fields were given
        putU32(out, w.navigationStyle);                  // 0x10 window properties
        putU32(out, caption);                            // 0x14
        putU32(out, w.windowStyle);                      // 0x18
        putU32(out, w.extendedStyle);                    // 0x1C
        putU32(out, static_cast<std::uint32_t>(w.left)); // 0x20 position
        putU32(out, static_cast<std::uint32_t>(w.top));
        putU32(out, static_cast<std::uint32_t>(w.right));
        putU32(out, static_cast<std::uint32_t>(w.bottom));
        putU32(out, w.showState);              // 0x30
        putZeros(out, 6 * 4);                  // 0x34 run-time handles and info-type pointer
        putU32(out, w.navPaneWidth);           // 0x4C
        putZeros(out, 4 * 4);                  // 0x50 HTML pane rectangle, run time
        putU32(out, toc);                      // 0x60
        putU32(out, index);                    // 0x64
        putU32(out, file);                     // 0x68
        putU32(out, home);                     // 0x6C
        putU32(out, w.buttons);                // 0x70 toolbar buttons
        putU32(out, w.navPaneInitiallyClosed); // 0x74
        putU32(out, w.defaultPane);            // 0x78
        putU32(out, w.tabPosition);            // 0x7C
        putU32(out, w.notificationId);         // 0x80
        putZeros(out, 20);                     // 0x84 tab order
        putU32(out, 0);                        // 0x98 history count
        putU32(out, jump1Text);                // 0x9C
        putU32(out, jump2Text);                // 0xA0
        putU32(out, jump1Url);                 // 0xA4
        putU32(out, jump2Url);                 // 0xA8
        putZeros(out, 4 * 4);                  // 0xAC minimum size
        putZeros(out, start + entrySize - out.size()); // 0xBC info-type count, custom tabs
    }
    return out;
}

std::vector<std::uint8_t> buildContextIds(const std::vector<ContextId>& ids, StringPool& pool) {
    std::vector<std::uint8_t> out;
    putU32(out, static_cast<std::uint32_t>(ids.size() * 8));
    for (const ContextId& id : ids) {
        putU32(out, id.number);
        putU32(out, pool.add(id.file));
    }
    return out;
}

std::vector<std::uint8_t> buildIndexHeader(const SitemapProperties& p,
                                           const std::vector<std::string>& mergeFiles,
                                           std::uint32_t topicCount, std::uint32_t stamp,
                                           StringPool& pool) {
    const auto stringOrNotSet = [&pool](const std::string& s) {
        const std::uint32_t offset = pool.add(s);
        return offset == 0 ? kNotSet : offset;
    };
    const std::size_t maxMerge = (kIndexHeaderSize - kIndexHeaderMergeList) / 4;
    const std::size_t mergeCount = std::min(mergeFiles.size(), maxMerge);

    std::vector<std::uint8_t> out;
    detail::putBytes(out, "T#SM");                       // 0x00 signature
    putU32(out, stamp);                                  // 0x04
    putU32(out, 1);                                      // 0x08
    putU32(out, topicCount);                             // 0x0C
    putU32(out, 0);                                      // 0x10
    putU32(out, stringOrNotSet(p.imageList));            // 0x14
    putU32(out, 0);                                      // 0x18
    putU32(out, p.imageTypeFolder ? 1u : 0u);            // 0x1C
    putU32(out, p.background.value_or(kNotSet));         // 0x20
    putU32(out, p.foreground.value_or(kNotSet));         // 0x24
    putU32(out, stringOrNotSet(p.font));                 // 0x28
    putU32(out, p.windowStyles.value_or(kNotSet));       // 0x2C
    putU32(out, p.exWindowStyles.value_or(kNotSet));     // 0x30
    putU32(out, kNotSet);                                // 0x34
    putU32(out, stringOrNotSet(p.frameName));            // 0x38
    putU32(out, stringOrNotSet(p.windowName));           // 0x3C
    putU32(out, 0);                                      // 0x40 information types
    putU32(out, 1);                                      // 0x44
    putU32(out, static_cast<std::uint32_t>(mergeCount)); // 0x48
    putU32(out, 0);                                      // 0x4C
    for (std::size_t i = 0; i < mergeCount; ++i)         // 0x50 merge file names
        putU32(out, pool.add(mergeFiles[i]));
    putZeros(out, kIndexHeaderSize - out.size());
    return out;
}

std::vector<std::uint8_t> buildObjectInstance(std::uint32_t codePage, std::uint32_t lcid) {
    // Two objects: the word breaker's settings and the search catalogue's. Only their
    // identities and the language they are keyed to are written; the viewer's search builds
    // its defaults from the code page and LCID.
    std::vector<std::uint8_t> wordBreaker;
    putGuid(wordBreaker, 0x4662DAAF, 0xD393, 0x11D0, 0x9A5600C04FB68BF7);
    putU32(wordBreaker, 0x04000000); // version
    putU32(wordBreaker, 0x0B);       // flags
    putU32(wordBreaker, codePage);
    putU32(wordBreaker, lcid);

    std::vector<std::uint8_t> catalogue;
    putGuid(catalogue, 0x4662DAB0, 0xD393, 0x11D0, 0x9A5600C04FB68B66);
    putU32(catalogue, 666);
    putU32(catalogue, codePage);
    putU32(catalogue, lcid);
    putU32(catalogue, 10031);
    putU32(catalogue, 0);

    constexpr std::uint32_t kHeaderSize = 24;
    std::vector<std::uint8_t> out;
    putU32(out, 0x04000000); // version
    putU32(out, 2);          // object count
    putU32(out, kHeaderSize);
    putU32(out, static_cast<std::uint32_t>(wordBreaker.size()));
    putU32(out, kHeaderSize + static_cast<std::uint32_t>(wordBreaker.size()));
    putU32(out, static_cast<std::uint32_t>(catalogue.size()));
    out.insert(out.end(), wordBreaker.begin(), wordBreaker.end());
    out.insert(out.end(), catalogue.begin(), catalogue.end());
    return out;
}

} // namespace chm
