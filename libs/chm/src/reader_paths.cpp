// Safe mapping of stored names. Every stored user file begins with one "/"; anything that
// still looks rooted after that one is dropped is refused rather than repaired, so a crafted
// name can never be steered to a place its author chose.
#include "chm/reader_paths.h"

#include <cstdio>
#include <vector>

namespace chm {

bool isInternalName(std::string_view stored) {
    if (stored.substr(0, 2) == "::")
        return true;
    if (!stored.empty() && stored[0] == '/')
        stored.remove_prefix(1);
    return !stored.empty() && (stored[0] == '#' || stored[0] == '$');
}

SafeName safeRelativeName(std::string_view stored) {
    SafeName r;
    if (stored.find('\0') != std::string_view::npos) {
        r.reason = "名称中含有 NUL 字符";
        return r;
    }
    if (!stored.empty() && stored[0] == '/')
        stored.remove_prefix(1);
    if (stored.empty()) {
        r.reason = "名称为空";
        return r;
    }
    if (stored[0] == '/' || stored[0] == '\\') {
        r.reason = "名称是绝对路径";
        return r;
    }
    if (stored.back() == '/' || stored.back() == '\\') {
        r.reason = "名称是文件夹";
        return r;
    }
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= stored.size()) {
        std::size_t end = stored.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = stored.size();
        std::string_view part = stored.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            r.reason = "名称用“..”跳出了输出文件夹";
            return r;
        }
        if (part.find(':') != std::string_view::npos) {
            r.reason = "名称带有驱动器号或数据流名";
            return r;
        }
        parts.push_back(part);
    }
    if (parts.empty()) {
        r.reason = "名称为空";
        return r;
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i)
            r.relative += '/';
        r.relative.append(parts[i]);
    }
    r.ok = true;
    return r;
}

std::string printableName(std::string_view stored) {
    std::string out;
    for (char c : stored) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace chm
