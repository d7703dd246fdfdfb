// #SYSTEM is a DWORD version followed by records (WORD code, WORD length, data) to the end
// of the file; strings in it are NUL-terminated within their record. #WINDOWS is a DWORD
// count and a DWORD entry size, then fixed-size entries: the 32-bit HH_WINTYPE structure with
// every string pointer replaced by an offset into #STRINGS (0 meaning none). Entries are 196
// bytes for "1.1 or later" files and 188 for "1.0"; we read whichever size is declared, and
// only the fields that lie inside it.
#include "chm/reader_settings.h"

#include "chm/byte_cursor.h"
#include "chm/system_format.h"

#include <algorithm>
#include <array>
#include <utility>

namespace chm {

namespace {

// A window file declaring more entries than this is lying; real ones have a handful.
constexpr std::uint32_t kMaxWindows = 256;
// Entries that end before the home page lack the fields a project needs; larger ones than the
// maximum are no window type.
constexpr std::uint32_t kMinWindowEntry = window_entry::kHome + 4;
constexpr std::uint32_t kMaxWindowEntry = 0x1000;

// The records that hold one string, and where it goes.
constexpr std::array<std::pair<SystemCode, std::string SystemSettings::*>, 8> kStringRecords = {{
    {SystemCode::ContentsFile, &SystemSettings::contentsFile},
    {SystemCode::IndexFile, &SystemSettings::indexFile},
    {SystemCode::DefaultTopic, &SystemSettings::defaultTopic},
    {SystemCode::Title, &SystemSettings::title},
    {SystemCode::DefaultWindow, &SystemSettings::defaultWindow},
    {SystemCode::CompiledFile, &SystemSettings::compiledFile},
    {SystemCode::CompilerVersion, &SystemSettings::compilerVersion},
    {SystemCode::DefaultFont, &SystemSettings::defaultFont},
}};

// The record's string: up to its NUL, or all of it when the NUL is missing.
std::string recordString(std::span<const std::uint8_t> rec) {
    std::string s(rec.begin(), rec.end());
    return s.substr(0, s.find('\0'));
}

} // namespace

SystemSettings parseSystem(std::span<const std::uint8_t> data, std::vector<std::string>& warnings) {
    SystemSettings s;
    ByteCursor in(data);
    s.version = in.u32();
    if (!in.ok()) {
        warnings.push_back("#SYSTEM 太短");
        return s;
    }
    while (in.remaining() >= system_file::kRecordHeaderSize) {
        const auto code = static_cast<SystemCode>(in.u16());
        const std::uint16_t length = in.u16();
        const std::span<const std::uint8_t> rec = in.bytes(length);
        if (!in.ok()) {
            warnings.push_back("#SYSTEM 的记录 " + std::to_string(static_cast<unsigned>(code)) +
                               " 超出了文件末尾");
            break;
        }
        if (auto it = std::find_if(kStringRecords.begin(), kStringRecords.end(),
                                   [code](const auto& r) { return r.first == code; });
            it != kStringRecords.end()) {
            s.*(it->second) = recordString(rec);
        } else if (code == SystemCode::Language) {
            const ByteCursor fields(rec);
            if (ByteCursor lcid = fields.at(language_record::kLcid); lcid.remaining() >= 4)
                s.lcid = lcid.u32();
            // Shorter records from older compilers lack the flags: they read as 0.
            s.fullTextSearch = fields.at(language_record::kFullTextSearch).u32() != 0;
            s.keywordLinks = fields.at(language_record::kKeywordLinks).u32() != 0;
            s.associativeLinks = fields.at(language_record::kAssociativeLinks).u32() != 0;
        } else if (code == SystemCode::BinaryToc) {
            s.binaryToc = true;
        }
        // Other codes carry nothing a viewer or a project file needs.
    }
    return s;
}

std::vector<WindowSettings> parseWindows(std::span<const std::uint8_t> windows,
                                         std::span<const std::uint8_t> strings,
                                         std::vector<std::string>& warnings) {
    std::vector<WindowSettings> out;
    ByteCursor in(windows);
    const std::uint32_t count = in.u32();
    const std::uint32_t entrySize = in.u32();
    if (!in.ok())
        return out;
    if (entrySize < kMinWindowEntry || entrySize > kMaxWindowEntry || count > kMaxWindows) {
        warnings.push_back("#WINDOWS 的文件头不合理，已忽略窗口定义");
        return out;
    }
    bool warnedString = false;
    const ByteCursor pool(strings);
    // Fields that lie outside a short entry read as 0, that is, as not given.
    const auto text = [&](const ByteCursor& entry, std::size_t field) {
        const std::uint32_t offset = entry.at(field).u32();
        if (offset == 0)
            return std::string();
        const auto warnOnce = [&](const char* warning) {
            if (!warnedString)
                warnings.push_back(warning);
            warnedString = true;
            return std::string();
        };
        if (offset >= strings.size())
            return warnOnce("#WINDOWS 引用了 #STRINGS 末尾之后的字符串");
        ByteCursor at = pool.at(offset);
        const std::string_view s = at.cString();
        if (!at.ok())
            return warnOnce("#STRINGS 中有缺少结束符的字符串");
        return std::string(s);
    };
    namespace f = window_entry;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::span<const std::uint8_t> bytes = in.bytes(entrySize);
        if (!in.ok()) {
            warnings.push_back("#WINDOWS 比其条目数所示的短");
            break;
        }
        const ByteCursor e(bytes);
        const auto number = [&e](std::size_t field) { return e.at(field).u32(); };
        WindowSettings w;
        w.name = text(e, f::kType);
        w.validMembers = number(f::kValidMembers);
        w.properties = number(f::kProperties);
        w.caption = text(e, f::kCaption);
        w.styles = number(f::kStyles);
        w.exStyles = number(f::kExStyles);
        for (std::size_t k = 0; k < 4; ++k)
            w.rect[k] = static_cast<std::int32_t>(number(f::kPosition + 4 * k));
        w.showState = number(f::kShowState);
        w.navWidth = number(f::kNavWidth);
        w.toc = text(e, f::kToc);
        w.index = text(e, f::kIndex);
        w.defaultFile = text(e, f::kFile);
        w.home = text(e, f::kHome);
        w.toolbarFlags = number(f::kButtons);
        w.notExpanded = number(f::kNavClosed);
        w.currentTab = number(f::kDefaultTab);
        w.tabPosition = number(f::kTabPosition);
        w.notifyId = number(f::kNotifyId);
        w.jump1Text = text(e, f::kJump1Text);
        w.jump2Text = text(e, f::kJump2Text);
        w.jump1Url = text(e, f::kJump1Url);
        w.jump2Url = text(e, f::kJump2Url);
        out.push_back(std::move(w));
    }
    return out;
}

} // namespace chm
