// The string pool and the fixed-layout tables: #URLSTR, #URLTBL, #TOPICS, #WINDOWS, #IVB and
// #IDXHDR (their offsets and sizes are in chm/system_format.h).
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

#include "byte_writer.h"

#include <algorithm>
#include <numeric>
#include <string>

namespace chm {

using detail::patchU32;
using detail::putCString;
using detail::putU16;
using detail::putU32;
using detail::putZeros;

namespace {

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
    constexpr std::size_t kMaxUrl = kTableBlockSize - url_string::kUrl - 1;
    std::vector<std::string> storedUrls(topics.size());
    for (std::size_t i = 0; i < topics.size(); ++i) {
        std::string url(untilNul(topics[i].url));
        if (url.size() > kMaxUrl) {
            truncatedUrls.push_back(url);
            url.resize(kMaxUrl);
        }
        keepInsideBlock(tables.urlStrings, url_string::kUrl + url.size() + 1);
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
        if (k != 0 && k % url_table::kRecordsPerBlock == 0)
            putU32(tables.urlTable, url_table::kBlockEndMark);
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
            flags |= topic_entry::kIsFile;
        if (topic.contentsOffset != 0)
            flags |= topic_entry::kInContents;
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
    namespace e = window_entry;
    const std::uint32_t entrySize = compatibility10 ? e::kSize10 : e::kSize;
    std::vector<std::uint8_t> out;
    putU32(out, static_cast<std::uint32_t>(windows.size()));
    putU32(out, entrySize);
    for (const WindowDefinition& w : windows) {
        // Run-time fields, the tab order and the minimum size stay 0; strings are 8-bit.
        const std::size_t start = out.size();
        putZeros(out, entrySize);
        const auto set = [&](std::size_t field, std::uint32_t v) {
            patchU32(out, start + field, v);
        };
        set(e::kStructSize, entrySize);
        // Strings go into the pool in the order the record names them.
        set(e::kType, pool.add(w.name));
        set(e::kCaption, pool.add(w.caption));
        set(e::kToc, pool.add(w.contentsFile));
        set(e::kIndex, pool.add(w.indexFile));
        set(e::kFile, pool.add(w.defaultFile));
        set(e::kHome, pool.add(w.homeFile));
        set(e::kJump1Text, pool.add(w.jump1Text));
        set(e::kJump2Text, pool.add(w.jump2Text));
        set(e::kJump1Url, pool.add(w.jump1Url));
        set(e::kJump2Url, pool.add(w.jump2Url));
        set(e::kValidMembers, w.validMembers);
        set(e::kProperties, w.navigationStyle);
        set(e::kStyles, w.windowStyle);
        set(e::kExStyles, w.extendedStyle);
        set(e::kPosition, static_cast<std::uint32_t>(w.left));
        set(e::kPosition + 4, static_cast<std::uint32_t>(w.top));
        set(e::kPosition + 8, static_cast<std::uint32_t>(w.right));
        set(e::kPosition + 12, static_cast<std::uint32_t>(w.bottom));
        set(e::kShowState, w.showState);
        set(e::kNavWidth, w.navPaneWidth);
        set(e::kButtons, w.buttons);
        set(e::kNavClosed, w.navPaneInitiallyClosed);
        set(e::kDefaultTab, w.defaultPane);
        set(e::kTabPosition, w.tabPosition);
        set(e::kNotifyId, w.notificationId);
    }
    return out;
}

std::vector<std::uint8_t> buildContextIds(const std::vector<ContextId>& ids, StringPool& pool) {
    std::vector<std::uint8_t> out;
    putU32(out, static_cast<std::uint32_t>(ids.size() * context_ids::kPairSize));
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
    const std::size_t maxMerge = (index_header::kSize - index_header::kMergeFiles) / 4;
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
    putZeros(out, index_header::kSize - out.size());
    return out;
}

} // namespace chm
