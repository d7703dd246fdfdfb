// The slow, plain way from a page to its words, kept as the reference the page cutter is held
// against: decode the page whole, drop its markup into text, then split and encode the words.
#pragma once

#include "chm/search_index.h"
#include "chm/search_words.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace chm {

// The text of one page as the index sees it: the title apart from the rest.
struct PageText {
    std::u32string title;
    std::u32string body;
};

// Decodes a page in the character set it names, or as decodeText does, and drops its markup.
PageText extractPageText(std::string_view html, std::uint32_t codePage);

// The words of a page's text, encoded with encoder.
PageWords pageWords(const PageText& text, WordEncoder& encoder);

// An index writer that also takes pages as text.
class TextIndexWriter : public SearchIndexWriter {
public:
    TextIndexWriter(std::uint32_t codePage, std::uint32_t lcid)
        : SearchIndexWriter(codePage, lcid), m_encoder(codePage) {}
    using SearchIndexWriter::addPage;
    void addPage(std::uint32_t topic, const PageText& text) {
        addPage(topic, pageWords(text, m_encoder));
    }

private:
    WordEncoder m_encoder;
};

} // namespace chm
