// #SYSTEM is a DWORD version followed by records (WORD code, WORD length, data) to the end
// of the file; strings in it are NUL-terminated within their record. #WINDOWS is a DWORD
// count and a DWORD entry size, then fixed-size entries: the 32-bit HH_WINTYPE structure with
// every string pointer replaced by an offset into #STRINGS (0 meaning none). Entries are 196
// bytes for "1.1 or later" files and 188 for "1.0"; we read whichever size is declared, and
// only the fields that lie inside it.
#include "chm/reader_settings.h"

#include <cstring>

namespace chm {

namespace {

// A window file declaring more entries than this is lying; real ones have a handful.
constexpr std::uint32_t kMaxWindows = 256;

std::uint32_t dword(std::span<const std::uint8_t> d, std::size_t at) {
    if (at > d.size() || d.size() - at < 4)
        return 0;
    return static_cast<std::uint32_t>(d[at]) | static_cast<std::uint32_t>(d[at + 1]) << 8 |
           static_cast<std::uint32_t>(d[at + 2]) << 16 |
           static_cast<std::uint32_t>(d[at + 3]) << 24;
}

std::string recordString(std::span<const std::uint8_t> rec) {
    const auto* p = reinterpret_cast<const char*>(rec.data());
    std::size_t n = 0;
    while (n < rec.size() && p[n] != '\0')
        ++n;
    return std::string(p, n);
}

} // namespace

SystemSettings parseSystem(std::span<const std::uint8_t> data, std::vector<std::string>& warnings) {
    SystemSettings s;
    if (data.size() < 4) {
        warnings.push_back("#SYSTEM 太短");
        return s;
    }
    s.version = dword(data, 0);
    std::size_t p = 4;
    while (data.size() - p >= 4) {
        unsigned code = data[p] | static_cast<unsigned>(data[p + 1]) << 8;
        std::size_t length = data[p + 2] | static_cast<std::size_t>(data[p + 3]) << 8;
        p += 4;
        if (length > data.size() - p) {
            warnings.push_back("#SYSTEM 的记录 " + std::to_string(code) + " 超出了文件末尾");
            break;
        }
        std::span<const std::uint8_t> rec = data.subspan(p, length);
        p += length;
        switch (code) {
        case 0:
            s.contentsFile = recordString(rec);
            break;
        case 1:
            s.indexFile = recordString(rec);
            break;
        case 2:
            s.defaultTopic = recordString(rec);
            break;
        case 3:
            s.title = recordString(rec);
            break;
        case 4:
            if (rec.size() >= 4)
                s.lcid = dword(rec, 0);
            s.fullTextSearch = dword(rec, 8) != 0;
            s.keywordLinks = dword(rec, 12) != 0;
            s.associativeLinks = dword(rec, 16) != 0;
            break;
        case 5:
            s.defaultWindow = recordString(rec);
            break;
        case 6:
            s.compiledFile = recordString(rec);
            break;
        case 9:
            s.compilerVersion = recordString(rec);
            break;
        case 11:
            s.binaryToc = true;
            break;
        case 16:
            s.defaultFont = recordString(rec);
            break;
        default:
            break; // other codes carry nothing a viewer or a project file needs
        }
    }
    return s;
}

std::vector<WindowSettings> parseWindows(std::span<const std::uint8_t> windows,
                                         std::span<const std::uint8_t> strings,
                                         std::vector<std::string>& warnings) {
    std::vector<WindowSettings> out;
    if (windows.size() < 8)
        return out;
    std::uint32_t count = dword(windows, 0);
    std::uint32_t entrySize = dword(windows, 4);
    if (entrySize < 0x70 || entrySize > 0x1000 || count > kMaxWindows) {
        warnings.push_back("#WINDOWS 的文件头不合理，已忽略窗口定义");
        return out;
    }
    bool warnedString = false;
    auto text = [&](std::span<const std::uint8_t> entry, std::size_t at) {
        std::uint32_t offset = dword(entry, at);
        if (offset == 0 || at + 4 > entry.size())
            return std::string();
        if (offset >= strings.size()) {
            if (!warnedString)
                warnings.push_back("#WINDOWS 引用了 #STRINGS 末尾之后的字符串");
            warnedString = true;
            return std::string();
        }
        const auto* p = reinterpret_cast<const char*>(strings.data()) + offset;
        const void* nul = std::memchr(p, 0, strings.size() - offset);
        if (!nul) {
            if (!warnedString)
                warnings.push_back("#STRINGS 中有缺少结束符的字符串");
            warnedString = true;
            return std::string();
        }
        return std::string(p, static_cast<const char*>(nul));
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t at = 8 + static_cast<std::size_t>(i) * entrySize;
        if (at > windows.size() || windows.size() - at < entrySize) {
            warnings.push_back("#WINDOWS 比其条目数所示的短");
            break;
        }
        std::span<const std::uint8_t> e = windows.subspan(at, entrySize);
        WindowSettings w;
        w.name = text(e, 0x08);
        w.validMembers = dword(e, 0x0C);
        w.properties = dword(e, 0x10);
        w.caption = text(e, 0x14);
        w.styles = dword(e, 0x18);
        w.exStyles = dword(e, 0x1C);
        for (int k = 0; k < 4; ++k)
            w.rect[k] = static_cast<std::int32_t>(dword(e, 0x20 + 4 * static_cast<std::size_t>(k)));
        w.showState = dword(e, 0x30);
        w.navWidth = dword(e, 0x4C);
        w.toc = text(e, 0x60);
        w.index = text(e, 0x64);
        w.defaultFile = text(e, 0x68);
        w.home = text(e, 0x6C);
        w.toolbarFlags = dword(e, 0x70);
        w.notExpanded = dword(e, 0x74);
        w.currentTab = dword(e, 0x78);
        w.tabPosition = dword(e, 0x7C);
        w.notifyId = dword(e, 0x80);
        w.jump1Text = text(e, 0x9C);
        w.jump2Text = text(e, 0xA0);
        w.jump1Url = text(e, 0xA4);
        w.jump2Url = text(e, 0xA8);
        out.push_back(std::move(w));
    }
    return out;
}

} // namespace chm
