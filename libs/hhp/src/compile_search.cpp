// Builds $FIftiMain for the compiler. Decoding pages, dropping their markup and cutting and
// encoding their words is most of the work and pages are independent, so that part runs on
// several threads; the words then go into the index in topic order.
#include "compile_search.h"

#include <algorithm>
#include <atomic>
#include <chm/search_index.h>
#include <thread>

namespace hhp::detail {

namespace {

// Below this many pages a thread costs more than it saves.
constexpr std::size_t kPagesPerThread = 16;

} // namespace

SearchIndexResult buildSearchIndex(const std::vector<SearchPage>& pages,
                                   std::optional<std::string_view> stopList, std::uint32_t codePage,
                                   std::uint32_t lcid, unsigned threads) {
    std::vector<chm::PageWords> texts(pages.size());
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t workers = std::clamp<std::size_t>(pages.size() / kPagesPerThread, 1, threads);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        chm::WordEncoder encoder(codePage);
        for (std::size_t i = next++; i < pages.size(); i = next++)
            texts[i] = chm::pageWords(chm::extractPageText(pages[i].html, codePage), encoder);
    };
    if (workers <= 1) {
        work();
    } else {
        std::vector<std::jthread> pool;
        for (std::size_t i = 0; i < workers; ++i)
            pool.emplace_back(work);
    }

    chm::SearchIndexWriter writer(codePage, lcid);
    if (stopList)
        writer.addStopWords(*stopList);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        writer.addPage(pages[i].topic, texts[i]);
        texts[i] = {};
    }
    SearchIndexResult result;
    result.bytes = writer.build();
    result.skippedWords = writer.stats().skippedWords;
    return result;
}

} // namespace hhp::detail
