// Builds $FIftiMain for the compiler. Decoding pages, dropping their markup and cutting and
// encoding their words is most of the work and pages are independent, so that part runs on
// worker threads, while this thread adds each page's words to the index in topic order as soon
// as they are ready.
#include "compile_search.h"

#include <algorithm>
#include <atomic>
#include <chm/search_index.h>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace hhp::detail {

namespace {

// Below this many pages a thread costs more than it saves.
constexpr std::size_t kPagesPerThread = 16;

} // namespace

SearchIndexResult buildSearchIndex(const std::vector<SearchPage>& pages,
                                   std::optional<std::string_view> stopList, std::uint32_t codePage,
                                   std::uint32_t lcid, unsigned threads) {
    chm::SearchIndexWriter writer(codePage, lcid);
    if (stopList)
        writer.addStopWords(*stopList);

    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t workers =
        std::clamp<std::size_t>(pages.size() / kPagesPerThread, 1, threads) - 1;
    if (workers == 0) {
        chm::PageCutter cutter(codePage);
        chm::PageWords words;
        for (const SearchPage& page : pages) {
            cutter.cut(page.html, words);
            writer.addPage(page.topic, words);
        }
    } else {
        // Workers cut pages in turn; this thread cuts too whenever the next page in order is
        // not ready yet, so no core waits while there is work.
        struct Slot {
            chm::PageWords words;
            std::atomic<bool> ready{false};
        };
        const auto slots = std::make_unique<Slot[]>(pages.size());
        std::atomic<std::size_t> next{0};
        // The first failure is kept for the caller; `failed` tells this thread about it while
        // the workers run (it may read `failure` itself only once they have all been joined).
        std::exception_ptr failure;
        std::mutex failureMutex;
        std::atomic<bool> failed{false};
        auto cutOne = [&](chm::PageCutter& cutter, std::size_t i) {
            try {
                cutter.cut(pages[i].html, slots[i].words);
            } catch (...) {
                // Only allocation can fail; the page is left empty and the failure reported.
                const std::lock_guard lock(failureMutex);
                if (!failure)
                    failure = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
                slots[i].words.clear();
            }
            slots[i].ready.store(true, std::memory_order_release);
            slots[i].ready.notify_one();
        };
        {
            std::vector<std::jthread> pool;
            for (std::size_t w = 0; w < workers; ++w)
                pool.emplace_back([&] {
                    chm::PageCutter cutter(codePage);
                    for (std::size_t i = next++; i < pages.size(); i = next++)
                        cutOne(cutter, i);
                });
            chm::PageCutter cutter(codePage);
            for (std::size_t i = 0; i < pages.size(); ++i) {
                while (!slots[i].ready.load(std::memory_order_acquire)) {
                    const std::size_t mine = next++;
                    if (mine >= pages.size()) {
                        slots[i].ready.wait(false, std::memory_order_acquire);
                        break;
                    }
                    cutOne(cutter, mine);
                }
                if (!failed.load(std::memory_order_relaxed))
                    writer.addPage(pages[i].topic, slots[i].words);
                slots[i].words = {};
            }
        }
        if (failure)
            std::rethrow_exception(failure);
    }
    SearchIndexResult result;
    result.bytes = writer.build();
    result.skippedWords = writer.stats().skippedWords;
    return result;
}

} // namespace hhp::detail
