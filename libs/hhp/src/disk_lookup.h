// Finds files named by projects and sitemaps the way Windows would: either separator, any
// letter case. Directory listings are cached, so a large project costs one scan per folder.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hhp::detail {

// A relative name split into components, with "." dropped and ".." applied. `escapes`
// counts the ".." that climbed above the starting folder.
struct RelativeName {
    std::vector<std::string> components;
    int escapes = 0;
};

RelativeName splitRelative(std::string_view name, const std::vector<std::string>& base = {});

class DiskLookup {
public:
    explicit DiskLookup(std::filesystem::path root) : m_root(std::move(root)) {}

    const std::filesystem::path& root() const { return m_root; }

    // The file on disk for the name, with the spelling the disk uses for each component
    // (exact match preferred). nullopt when there is no such regular file.
    struct Found {
        std::filesystem::path path;
        std::vector<std::string> components; // disk spelling, below the root or its escapes
    };
    // With `folder`, the name must be a directory instead; an empty name is the root itself.
    std::optional<Found> find(const RelativeName& name, bool folder = false);

    // Names in the folder (disk spelling) that match the pattern as text::matchesPattern
    // does; sorted case-insensitively.
    std::vector<std::string> match(const std::filesystem::path& folder, std::string_view pattern);

private:
    const std::vector<std::string>& listing(const std::filesystem::path& folder);

    std::filesystem::path m_root;
    std::map<std::string, std::vector<std::string>> m_listings;
};

} // namespace hhp::detail
