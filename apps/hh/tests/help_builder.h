// Small help files made in memory for the viewer's tests, through the container writer and the
// system files as the compiler uses them.
#pragma once

#include "chm/container_writer.h"
#include "chm/search_index.h"
#include "chm/system_files.h"
#include "text/code_page.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace hhtest {

struct Page {
    std::string name; // "dir/page.htm"
    std::string title;
    std::string bytes;
};

struct HelpContent {
    std::uint32_t lcid = 0x0409;
    std::string title;    // in the code page of lcid
    std::string contents; // .hhc text stored as toc.hhc when not empty
    std::string index;    // .hhk text stored as index.hhk when not empty
    bool search = false;
    std::vector<Page> pages; // every page; other files go here too, with an empty title
};

inline std::vector<std::uint8_t> buildHelp(const HelpContent& content) {
    chm::HelpFileInfo info;
    info.lcid = content.lcid;
    info.codePage = text::codePageForLcid(content.lcid);
    info.title = content.title;
    info.fullTextSearch = content.search;
    chm::ContainerWriter writer;
    chm::SearchIndexWriter searchIndex(info.codePage, info.lcid);
    chm::PageCutter cutter(info.codePage);
    chm::PageWords words;
    std::uint32_t topic = 0;
    for (const Page& page : content.pages) {
        writer.addFile("/" + page.name,
                       std::vector<std::uint8_t>(page.bytes.begin(), page.bytes.end()),
                       chm::Section::Compressed);
        if (page.name.find(".htm") == std::string::npos)
            continue;
        info.topics.push_back({page.name, page.title});
        if (content.search) {
            cutter.cut(page.bytes, words);
            searchIndex.addPage(topic, words);
        }
        ++topic;
    }
    auto addSitemap = [&](const std::string& text, const char* name, std::string& field) {
        if (text.empty())
            return;
        field = name;
        writer.addFile(std::string("/") + name, std::vector<std::uint8_t>(text.begin(), text.end()),
                       chm::Section::Compressed);
    };
    addSitemap(content.contents, "toc.hhc", info.contentsFile);
    addSitemap(content.index, "index.hhk", info.indexFile);
    if (content.search)
        writer.addFile("/$FIftiMain", searchIndex.build(), chm::Section::Compressed);
    std::vector<chm::SystemWarning> warnings;
    chm::SystemFiles system = chm::buildSystemFiles(info, warnings);
    for (auto& f : system.uncompressed)
        writer.addFile(f.name, std::move(f.data), chm::Section::Uncompressed);
    for (auto& f : system.compressed)
        writer.addFile(f.name, std::move(f.data), chm::Section::Compressed);
    std::vector<std::uint8_t> bytes;
    if (writer.build(bytes) != chm::WriteError::None)
        bytes.clear();
    return bytes;
}

inline bool writeHelp(const HelpContent& content, const std::string& path) {
    const std::vector<std::uint8_t> bytes = buildHelp(content);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return !bytes.empty() && out.good();
}

// A page with its title: <html><head><title>title</title></head><body>body</body></html>.
inline Page page(const std::string& name, const std::string& title, const std::string& body) {
    return {name, title,
            "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>"};
}

// A sitemap entry: <LI><OBJECT type="text/sitemap"> with a Name and a Local (a heading without
// one); each further pair is another Name and Local, as a keyword with several topics has.
inline std::string sitemapItem(const std::string& name, const std::string& local = {},
                               const std::vector<std::pair<std::string, std::string>>& more = {}) {
    auto param = [](const char* key, const std::string& value) {
        return value.empty() ? std::string()
                             : "<param name=\"" + std::string(key) + "\" value=\"" + value + "\">";
    };
    std::string item =
        "<LI><OBJECT type=\"text/sitemap\">" + param("Name", name) + param("Local", local);
    for (const auto& [title, topic] : more)
        item += param("Name", title) + param("Local", topic);
    return item + "</OBJECT>\n";
}

} // namespace hhtest
