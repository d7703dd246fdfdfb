#include "disk_lookup.h"

#include "text/ascii.h"
#include "text/wildcard.h"

#include <algorithm>
#include <system_error>

namespace hhp::detail {

namespace fs = std::filesystem;

RelativeName splitRelative(std::string_view name, const std::vector<std::string>& base) {
    RelativeName out;
    out.components = base;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '/' && name[i] != '\\')
            continue;
        const std::string_view part = name.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (out.components.empty())
                ++out.escapes;
            else
                out.components.pop_back();
            continue;
        }
        out.components.emplace_back(part);
    }
    return out;
}

const std::vector<std::string>& DiskLookup::listing(const fs::path& folder) {
    const std::string key = folder.string();
    auto it = m_listings.find(key);
    if (it != m_listings.end())
        return it->second;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator dir(folder, ec), end; !ec && dir != end; dir.increment(ec))
        names.push_back(dir->path().filename().string());
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return text::lessIgnoreCase(a, b);
    });
    return m_listings.emplace(key, std::move(names)).first->second;
}

std::optional<DiskLookup::Found> DiskLookup::find(const RelativeName& name, bool wantFolder) {
    if (name.components.empty() && !wantFolder)
        return std::nullopt;
    fs::path folder = m_root;
    for (int i = 0; i < name.escapes; ++i)
        folder /= "..";
    Found found;
    for (std::size_t i = 0; i < name.components.size(); ++i) {
        const std::string& wanted = name.components[i];
        const auto& names = listing(folder);
        std::string chosen;
        if (std::find(names.begin(), names.end(), wanted) != names.end()) {
            chosen = wanted;
        } else {
            for (const auto& candidate : names)
                if (text::equalsIgnoreCase(candidate, wanted)) {
                    chosen = candidate;
                    break;
                }
        }
        if (chosen.empty())
            return std::nullopt;
        folder /= chosen;
        found.components.push_back(chosen);
    }
    std::error_code ec;
    if (wantFolder ? !fs::is_directory(folder, ec) : !fs::is_regular_file(folder, ec))
        return std::nullopt;
    found.path = folder;
    return found;
}

std::vector<std::string> DiskLookup::match(const fs::path& folder, std::string_view pattern) {
    std::vector<std::string> out;
    for (const auto& name : listing(folder)) {
        std::error_code ec;
        if (text::matchesPattern(name, pattern) && fs::is_regular_file(folder / name, ec))
            out.push_back(name);
    }
    return out;
}

} // namespace hhp::detail
