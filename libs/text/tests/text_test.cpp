// UTF-8 checks, character references, the wildcard matcher, ASCII case and UTF-16.
#include "text/ascii.h"
#include "text/code_page.h"
#include "text/references.h"
#include "text/wildcard.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8, OnlyStrictUtf8Passes) {
    struct Row {
        std::string bytes;
        bool utf8;
    };
    const Row rows[] = {
        {"plain", true},
        {"\xE4\xB8\xAD", true},          // 中
        {"\xF0\x9F\x98\x80", true},      // an emoji
        {"\xD6\xD0", false},             // 中 in GBK
        {"\xE4\xB8", false},             // cut short
        {"\xC0\xAF", false},             // overlong
        {"\xED\xA0\x80", false},         // a surrogate
        {"\xF4\x90\x80\x80", false},     // past U+10FFFF
        {"abcdefgh\xFFijklmnop", false}, // a bad byte inside an ASCII run
    };
    for (const Row& r : rows)
        EXPECT_EQ(text::isUtf8(r.bytes), r.utf8) << r.bytes;
}

TEST(References, DecodeInUtf8AndInCodePageText) {
    struct Row {
        const char* in;
        const char* utf8;
        const char* codePage;
    };
    const Row rows[] = {
        {"A &amp; B &lt;&gt;&quot;&apos;", "A & B <>\"'", "A & B <>\"'"},
        {"&#65;&#x42;&#X43;", "ABC", "ABC"},
        {"&#20013;&#x6587;", "\xE4\xB8\xAD\xE6\x96\x87", "&#20013;&#x6587;"},
        {"a&nbsp;b &copy;", "a b \xC2\xA9", "a b &copy;"},
        {"&AMP; &Amp; &bogus; &amp x &", "& &Amp; &bogus; &amp x &", "& &Amp; &bogus; &amp x &"},
        {"&#0; &#xD800; &#99999999;", "\xEF\xBF\xBD \xEF\xBF\xBD \xEF\xBF\xBD",
         "&#0; &#xD800; &#99999999;"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(text::decodeReferences(r.in, true), r.utf8) << r.in;
        EXPECT_EQ(text::decodeReferences(r.in, false), r.codePage) << r.in;
    }
    // Page text may leave out the semicolon.
    const auto loose = text::readReference(std::string_view("&copy 2"), 0, false);
    ASSERT_TRUE(loose.has_value());
    EXPECT_EQ(loose->character, 0xA9u);
    EXPECT_EQ(loose->length, 5u);
    EXPECT_EQ(text::readReference(std::u32string_view(U"&#x4E2D;"), 0, true)->character, 0x4E2Du);
}

// The platform's tests hold the matcher's rows; these are what they do not reach.
TEST(Wildcard, WildcardExtensionsAndManyStars) {
    EXPECT_FALSE(text::matchesPattern("a.htmx", "*.ht?"));
    EXPECT_FALSE(text::matchesPattern(std::string(5000, 'a'), std::string(50, '*') + "b"));
}

TEST(Ascii, FoldsOnlyAscii) {
    EXPECT_TRUE(text::equalsIgnoreCase("Index.HTM", "index.htm"));
    EXPECT_FALSE(text::equalsIgnoreCase("\xC3\x89", "\xC3\xA9")); // É and é are other bytes
    EXPECT_TRUE(text::lessIgnoreCase("apple", "Banana"));
    EXPECT_TRUE(text::lessIgnoreCase("A", "a")); // a stable order for names that differ in case
    EXPECT_FALSE(text::lessIgnoreCase("a", "A"));
    EXPECT_EQ(text::trimAscii(" \t x y\r\n"), "x y");
}

TEST(CodePage, TextForTheBinaryIndexAsUtf16) {
    EXPECT_EQ(text::toUtf16("\xD6\xD0x", 936), u"\u4E2Dx");   // GBK
    EXPECT_EQ(text::toUtf16("\xE4\xB8\xAD", 936), u"\u4E2D"); // UTF-8 wins
    EXPECT_EQ(text::toUtf16("a\xFF", 936), u"a?");            // neither
    EXPECT_EQ(text::toUtf16("\xE9", 4242), u"?");             // unknown code page: read as UTF-8
}

} // namespace
