// Cutting pages straight into the words the index stores.
#include "chm/search_words.h"
#include "search_charset.h"
#include "search_markup.h"
#include "text/code_page.h"
#include "text/converter.h"

#include <array>
#include <cstring>
#include <map>

namespace chm {

using namespace detail;

namespace {

// What the cutter knows of a character beyond ASCII: whether it separates words, is a word of
// its own or part of one, and the bytes it is stored as (lower-cased where words are).
struct CharInfo {
    enum Kind : std::uint8_t { Unknown, Separator, OwnWord, WordPart };
    static constexpr std::uint8_t kNoBytes = 0xFF; // not in the code page
    Kind kind = Unknown;
    std::uint8_t length = 0;
    char bytes[4] = {};
};

// Cuts a page's text into encoded words as it is walked.
class WordSink {
public:
    WordSink(WordEncoder& encoder, std::vector<std::unique_ptr<CharInfo[]>>& pages)
        : m_encoder(encoder), m_pages(pages) {}

    void start() {
        m_title.clear();
        m_body.clear();
        m_target = &m_body;
        m_inTitle = false;
        m_titleStarted = false;
        m_inWord = false;
        m_bad = false;
        m_waitingApostrophe = false;
        m_waitingDots = 0;
    }

    void put(char32_t c) {
        m_titleStarted = m_titleStarted || m_inTitle;
        if (c >= 0x80) {
            putWide(c);
        } else if (kAsciiWord[c] != 0) {
            part(kAsciiWord[c]);
            m_target->bytes.push_back(kAsciiWord[c]);
        } else {
            separator(c);
        }
    }

    // Most text is ASCII: its letters and digits are lower-cased and appended a run at a time.
    template <typename Char> void putRun(std::basic_string_view<Char> run) {
        if (run.empty())
            return;
        m_titleStarted = m_titleStarted || m_inTitle;
        const std::size_t end = run.size();
        std::size_t p = 0;
        while (p < end) {
            const char32_t c = at(run, p);
            if (c >= 0x80) {
                std::size_t length = 1;
                if constexpr (sizeof(Char) == 1)
                    putWide(text::utf8At(run, p, length));
                else
                    putWide(c);
                p += length;
                continue;
            }
            if (kAsciiWord[c] == 0) {
                separator(c);
                ++p;
                continue;
            }
            std::size_t q = p + 1;
            while (q < end && at(run, q) < 0x80 && kAsciiWord[at(run, q)] != 0)
                ++q;
            part(kAsciiWord[c]);
            std::string& bytes = m_target->bytes;
            const std::size_t from = bytes.size();
            bytes.resize(from + (q - p));
            char* w = bytes.data() + from;
            for (; p < q; ++p)
                *w++ = kAsciiWord[at(run, p)];
        }
    }
    void toTitle() {
        finish();
        m_target = &m_title;
        m_inTitle = true;
    }
    void toBody() {
        finish();
        m_target = &m_body;
        m_inTitle = false;
    }
    bool titleStarted() const { return m_titleStarted; }

    // The title's words, then the body's, into out.
    void end(PageWords& out) {
        finish();
        out.clear();
        out.bytes.reserve(m_title.bytes.size() + m_body.bytes.size());
        out.bytes = m_title.bytes;
        out.bytes += m_body.bytes;
        out.ends.reserve(m_title.ends.size() + m_body.ends.size());
        out.ends = m_title.ends;
        const auto shift = static_cast<std::uint32_t>(m_title.bytes.size());
        for (const std::uint32_t e : m_body.ends)
            out.ends.push_back(e + shift);
        out.titleWords = m_title.ends.size();
    }

private:
    // An ASCII character as a word stores it (letters lower-cased); 0 for a separator.
    static constexpr std::array<char, 128> kAsciiWord = [] {
        std::array<char, 128> table{};
        table['_'] = '_';
        for (int c = '0'; c <= '9'; ++c)
            table[static_cast<std::size_t>(c)] = static_cast<char>(c);
        for (int c = 'a'; c <= 'z'; ++c) {
            table[static_cast<std::size_t>(c)] = static_cast<char>(c);
            table[static_cast<std::size_t>(c - 32)] = static_cast<char>(c);
        }
        return table;
    }();

    void putWide(char32_t c) {
        const CharInfo& info = lookup(c);
        switch (info.kind) {
        case CharInfo::WordPart:
            part(0);
            if (info.length == CharInfo::kNoBytes)
                m_bad = true;
            else
                appendBytes(info);
            break;
        case CharInfo::OwnWord:
            finish();
            if (info.length != CharInfo::kNoBytes)
                appendBytes(info);
            m_target->ends.push_back(static_cast<std::uint32_t>(m_target->bytes.size()));
            break;
        default:
            separator(c);
            break;
        }
    }

    // Before a character that is part of a word, stored as `first` when it starts one: a word
    // waiting after an apostrophe or dots goes on through them (the apostrophe dropped).
    void part(char first) {
        if (!m_inWord) {
            begin();
            m_digitLed = first >= '0' && first <= '9';
            return;
        }
        m_target->bytes.append(m_waitingDots, '.');
        m_waitingDots = 0;
        m_waitingApostrophe = false;
    }

    // A character that is no part of a word ends the word, unless it may join the word to
    // what follows: then the next character decides.
    void separator(char32_t c) {
        if (m_inWord && !m_waitingApostrophe) {
            if (isApostrophe(c) && m_waitingDots == 0) {
                m_waitingApostrophe = true;
                return;
            }
            if (isDigitDot(c) && m_digitLed) {
                ++m_waitingDots;
                return;
            }
        }
        finish();
    }

    // A character's bytes are one to four: added one by one, they stay inline.
    void appendBytes(const CharInfo& info) {
        std::string& bytes = m_target->bytes;
        for (std::uint8_t k = 0; k < info.length; ++k)
            bytes.push_back(info.bytes[k]);
    }

    void begin() {
        if (!m_inWord) {
            m_inWord = true;
            m_wordStart = m_target->bytes.size();
        }
    }
    void finish() {
        if (!m_inWord)
            return;
        if (m_bad || m_target->bytes.size() - m_wordStart > kMaxIndexedWord)
            m_target->bytes.resize(m_wordStart);
        m_target->ends.push_back(static_cast<std::uint32_t>(m_target->bytes.size()));
        m_inWord = false;
        m_bad = false;
        m_waitingApostrophe = false;
        m_waitingDots = 0;
    }

    const CharInfo& lookup(char32_t c) {
        static const CharInfo kSeparator{CharInfo::Separator, 0, {}};
        if (c > 0x10FFFF)
            return kSeparator;
        auto& page = m_pages[c >> 8];
        if (!page)
            page = std::make_unique<CharInfo[]>(256);
        CharInfo& info = page[c & 0xFF];
        if (info.kind != CharInfo::Unknown)
            return info;
        if (!isWordCharacter(c)) {
            info.kind = CharInfo::Separator;
            return info;
        }
        info.kind = isOwnWord(c) ? CharInfo::OwnWord : CharInfo::WordPart;
        const char32_t stored = info.kind == CharInfo::OwnWord ? c : toLowerUnicode(c);
        // No code page a help file uses takes more than four bytes for a character.
        if (m_encoder.encode(std::u32string_view(&stored, 1), m_scratch) &&
            m_scratch.size() <= sizeof info.bytes) {
            info.length = static_cast<std::uint8_t>(m_scratch.size());
            std::memcpy(info.bytes, m_scratch.data(), m_scratch.size());
        } else {
            info.length = CharInfo::kNoBytes;
        }
        return info;
    }

    WordEncoder& m_encoder;
    std::vector<std::unique_ptr<CharInfo[]>>& m_pages;
    std::string m_scratch;
    PageWords m_title;
    PageWords m_body;
    PageWords* m_target = &m_body;
    bool m_inTitle = false;
    bool m_titleStarted = false;
    bool m_inWord = false;
    bool m_bad = false;
    bool m_digitLed = false;          // the word began with a digit: dots may join it
    bool m_waitingApostrophe = false; // an apostrophe after the word, which a part would join
    std::size_t m_waitingDots = 0;    // dots after it, likewise
    std::size_t m_wordStart = 0;
};

} // namespace

struct PageCutter::Impl {
    std::uint32_t codePage;
    WordEncoder encoder;
    std::vector<std::unique_ptr<CharInfo[]>> charPages;
    // The characters of single-byte code pages by byte, made when first needed; empty for a
    // code page that is not one.
    std::map<std::uint32_t, std::vector<char32_t>> byteTables;
    std::u32string text;
    WordSink sink;

    explicit Impl(std::uint32_t cp)
        : codePage(cp), encoder(cp), charPages(0x110000 >> 8), sink(encoder, charPages) {}

    const std::vector<char32_t>& byteTable(std::uint32_t cp) {
        auto [it, added] = byteTables.try_emplace(cp);
        if (added)
            it->second = makeByteTable(cp);
        return it->second;
    }

    static std::vector<char32_t> makeByteTable(std::uint32_t cp) {
        std::vector<char32_t> table;
        const std::string name = text::iconvNameForCodePage(cp);
        if (!byteByByte(cp) || name.empty())
            return table;
        text::Converter converter("UTF-32LE", name.c_str());
        if (!converter.valid())
            return table;
        table.resize(256, 0xFFFD);
        for (unsigned b = 0; b < 256; ++b) {
            const char in = static_cast<char>(b);
            const auto out = converter.convertAll(std::string_view(&in, 1));
            if (!out || out->size() != 4)
                continue;
            const auto byte = [&](std::size_t k) {
                return static_cast<char32_t>(static_cast<unsigned char>((*out)[k]));
            };
            table[b] = byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24);
        }
        return table;
    }

    void decodeBytes(std::string_view html, const std::vector<char32_t>& table) {
        text.resize(html.size());
        for (std::size_t i = 0; i < html.size(); ++i)
            text[i] = table[static_cast<unsigned char>(html[i])];
    }

    // Decodes a page into text, in the character set it declares or else as decodeText does,
    // without iconv where it can; true instead when the page can be walked as it is: ASCII
    // that reads the same in its character set, or UTF-8 read as UTF-8.
    bool decode(std::string_view html) {
        const std::string charset = declaredCharset(html);
        if (!charset.empty()) {
            if (asciiCompatible(charset) && text::isAscii(html))
                return true;
            if (charset == "UTF-8" && text::isUtf8(html))
                return true;
            if (const auto& table = byteTable(namedCodePage(charset)); !table.empty()) {
                decodeBytes(html, table);
                return false;
            }
            if (decodeWith(charset, html, text))
                return false;
        }
        if (text::isAscii(html) || text::isUtf8(html))
            return true;
        if (const auto& table = byteTable(codePage); !table.empty()) {
            decodeBytes(html, table);
            return false;
        }
        text = decodeText(html, codePage);
        return false;
    }
};

PageCutter::PageCutter(std::uint32_t codePage) : m_impl(std::make_unique<Impl>(codePage)) {}

PageCutter::~PageCutter() = default;

void PageCutter::cut(std::string_view html, PageWords& out) {
    m_impl->sink.start();
    if (m_impl->decode(html))
        walkPage(html, m_impl->sink);
    else
        walkPage(std::u32string_view(m_impl->text), m_impl->sink);
    m_impl->sink.end(out);
}

} // namespace chm