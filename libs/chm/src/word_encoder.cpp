// Characters of words into the help file's code page, each converted once.
#include "chm/search_words.h"
#include "text/code_page.h"
#include "text/converter.h"

#include <unordered_map>

namespace chm {

struct WordEncoder::Impl {
    std::string iconvName;
    text::Converter converter;
    std::unordered_map<char32_t, std::string> known; // empty string: no encoding

    explicit Impl(std::uint32_t codePage)
        : iconvName(text::iconvNameForCodePage(codePage)),
          converter(iconvName.empty() ? "UTF-8" : iconvName.c_str(), "UTF-32LE") {}

    const std::string& lookup(char32_t c) {
        auto it = known.find(c);
        if (it != known.end())
            return it->second;
        const char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                            static_cast<char>((c >> 16) & 0xFF), static_cast<char>(c >> 24)};
        std::string bytes = converter.convertAll(std::string_view(in, sizeof in)).value_or("");
        return known.emplace(c, std::move(bytes)).first->second;
    }
};

WordEncoder::WordEncoder(std::uint32_t codePage) : m_impl(std::make_unique<Impl>(codePage)) {}

WordEncoder::~WordEncoder() = default;

bool WordEncoder::knownCodePage() const {
    return !m_impl->iconvName.empty() && m_impl->converter.valid();
}

bool WordEncoder::encode(std::u32string_view word, std::string& out) {
    out.clear();
    for (const char32_t c : word) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        const std::string& bytes = m_impl->lookup(c);
        if (bytes.empty())
            return false;
        out += bytes;
    }
    return true;
}

} // namespace chm
