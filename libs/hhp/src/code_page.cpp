// Sitemap lines converted into the project's code page.
#include "hhp/code_page.h"

namespace hhp {

namespace {

// True when every non-ASCII UTF-8 sequence of the (valid UTF-8) line is two bytes long.
bool onlyTwoByteSequences(std::string_view line) {
    for (const char c : line) {
        if (static_cast<unsigned char>(c) >= 0xE0) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string convertUtf8LinesImpl(std::string_view text, std::uint32_t codePage,
                                 void (*onLoss)(void*, int), void* context) {
    if (codePage == 65001)
        return std::string(text);
    // A leading byte-order mark is a marker, not text: it is set aside before the first line
    // is judged. A text with nothing to convert is handed back byte for byte, mark included;
    // once lines are converted the text is no longer UTF-8, so the mark goes.
    const std::string_view whole = text;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    bool converted = false;
    std::string out;
    out.reserve(text.size());
    int lineNumber = 1;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        const std::string_view line = text.substr(start, end - start);
        if (isNonAsciiUtf8(line)) {
            const Conversion c = fromUtf8(line, codePage);
            if (c.ok && !c.lossy) {
                out += c.text;
                converted = true;
            } else if (onlyTwoByteSequences(line) && toUtf8(line, codePage)) {
                // Short texts in a double-byte code page can pass for UTF-8 ("模式" in GBK is
                // valid UTF-8 for "ģʽ"), but only ever as two-byte sequences: UTF-8 Chinese
                // takes three. Such a line the code page cannot hold as UTF-8, yet reads cleanly
                // in the code page, is already in it: converting would lose it.
                out += line;
            } else {
                out += c.text;
                converted = true;
                onLoss(context, lineNumber);
            }
        } else {
            out += line;
        }
        std::size_t next = end;
        if (next < text.size()) {
            if (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n')
                ++next;
            ++next;
            out += text.substr(end, next - end);
            ++lineNumber;
        }
        start = next;
    }
    return converted ? out : std::string(whole);
}

} // namespace hhp
