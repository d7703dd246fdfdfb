#include "search_test_support.h"

#include "../src/search_charset.h"
#include "../src/search_markup.h"

namespace chm {

namespace {

// Collects the text itself.
class TextSink {
public:
    explicit TextSink(PageText& page) : m_page(page), m_target(&page.body) {}
    void put(char32_t c) { m_target->push_back(c); }
    void putRun(std::u32string_view run) { m_target->append(run); }
    void toTitle() { m_target = &m_page.title; }
    void toBody() { m_target = &m_page.body; }
    bool titleStarted() const { return !m_page.title.empty(); }

private:
    PageText& m_page;
    std::u32string* m_target;
};

} // namespace

PageText extractPageText(std::string_view html, std::uint32_t codePage) {
    std::u32string text;
    const std::string charset = detail::declaredCharset(html);
    if (charset.empty() || !detail::decodeWith(charset, html, text))
        text = decodeText(html, codePage);
    PageText page;
    TextSink sink(page);
    detail::walkPage(std::u32string_view(text), sink);
    return page;
}

PageWords pageWords(const PageText& text, WordEncoder& encoder) {
    PageWords out;
    std::vector<std::u32string> words;
    splitWords(text.title, words);
    out.titleWords = words.size();
    splitWords(text.body, words);
    std::string bytes;
    for (const auto& word : words) {
        if (encoder.encode(word, bytes) && bytes.size() <= kMaxIndexedWord)
            out.bytes += bytes;
        out.ends.push_back(static_cast<std::uint32_t>(out.bytes.size()));
    }
    return out;
}

} // namespace chm
