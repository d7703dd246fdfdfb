// The compile step that builds the full-text index from the pages' text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hhp::detail {

struct SearchPage {
    std::uint32_t topic = 0; // its #TOPICS number; pages come in ascending order
    std::string_view html;
};

struct SearchIndexResult {
    std::vector<std::uint8_t> bytes; // $FIftiMain
    std::uint32_t skippedWords = 0;  // too long, or not in the code page
};

// Indexes the pages; stopList (the project's stop list file, if any) names words left out.
// Pages are read on up to `threads` threads (0 = all cores).
SearchIndexResult buildSearchIndex(const std::vector<SearchPage>& pages,
                                   std::optional<std::string_view> stopList, std::uint32_t codePage,
                                   std::uint32_t lcid, unsigned threads);

} // namespace hhp::detail
