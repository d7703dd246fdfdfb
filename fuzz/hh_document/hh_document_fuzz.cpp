// Fuzz target: open a help file from memory as the viewer does, without showing it: settings,
// title and code page, contents and index sitemaps, the start pages, every page the contents
// names served as the browser would ask for it, and a full-text search.
#include "help_document.h"
#include "help_url.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hh::HelpDocument doc;
    if (doc.openMemory(std::vector<std::uint8_t>(data, data + size), "/fuzz/input.chm") !=
        chm::ReadError::Ok)
        return 0;
    std::size_t served = 0;
    auto serve = [&](const std::string& local) {
        // A few pages are enough to exercise the serving path; a fuzzer should not unpack bombs.
        const std::string stored = doc.storedName(local);
        hh::Resource resource;
        if (!stored.empty() && served++ < 8)
            doc.read(stored, resource);
        hh::routeRequest("ms-its", hh::helpPath(doc.path(), hh::normalizePageName(local)),
                         doc.path());
    };
    serve(doc.startPage());
    serve(doc.homePage());
    for (const int node : doc.readingOrder())
        serve(doc.contents()[static_cast<std::size_t>(node)].local);
    for (const hh::IndexEntry& entry : doc.index())
        for (const hh::IndexTopic& topic : entry.topics)
            doc.storedName(topic.local);
    if (doc.hasSearch()) {
        std::vector<hh::SearchResult> results;
        doc.search("the a \xE4\xB8\xAD\xE6\x96\x87 help", results);
    }
    doc.takeWarnings();
    return 0;
}
