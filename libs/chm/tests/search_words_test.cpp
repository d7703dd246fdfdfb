// The word rule, page text extraction and the code-page encoding of words.
#include "chm/search_words.h"
#include "search_test_support.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> wordsOf(std::u32string_view text) {
    std::vector<std::u32string> words;
    chm::splitWords(text, words);
    chm::WordEncoder utf8(65001);
    std::vector<std::string> out;
    for (const auto& w : words) {
        std::string bytes;
        EXPECT_TRUE(utf8.encode(w, bytes));
        out.push_back(bytes);
    }
    return out;
}

struct WordCase {
    std::u32string text;
    std::vector<std::string> words;
};

class WordRule : public testing::TestWithParam<WordCase> {};

TEST_P(WordRule, SplitsAndLowerCases) {
    EXPECT_EQ(wordsOf(GetParam().text), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WordRule,
    testing::Values(
        WordCase{U"Hello, World!", {"hello", "world"}},
        // As in Microsoft's indexes: underscores join, an apostrophe inside a word goes, dots
        // join after a leading digit; other punctuation separates.
        WordCase{U"MB_OK don't 'quoted' 1.0.51 7z.exe 0...255 5. x86.exe e-mail",
                 {"mb_ok", "dont", "quoted", "1.0.51", "7z.exe", "0...255", "5", "x86", "exe", "e",
                  "mail"}},
        WordCase{U"  \t\r\n", {}},
        // Letters beyond ASCII are letters, lower-cased by Unicode's rule.
        WordCase{U"ÉCOLE Straße ΑΒΓ Привет", {"école", "straße", "αβγ", "привет"}},
        // Han ideographs and kana are words of one character; Latin runs beside them are not.
        WordCase{U"使用搜索功能Qt6版，カタカナ",
                 {"使", "用", "搜", "索", "功", "能", "qt6", "版", "カ", "タ", "カ", "ナ"}},
        // Full-width punctuation separates; full-width digits are digits.
        WordCase{U"目录。索引：１２３", {"目", "录", "索", "引", "１２３"}}));

TEST(PageText, FindsTheDeclaredCharsetAndSeparatesUndecodableBytes) {
    // The declaration is found in either case and with blanks and quotes around its value;
    // a mention that names nothing is passed over for the next one.
    const std::string upper = "<META CONTENT='text/html; CHARSET'><meta Charset = \"GBK\">"
                              "<p>\xD6\xD0\xCE\xC4</p>";
    EXPECT_EQ(wordsOf(chm::extractPageText(upper, 1252).body),
              (std::vector<std::string>{"中", "文"}));
    EXPECT_EQ(wordsOf(chm::extractPageText("<p>caf\xE9</p>", 1252).body),
              (std::vector<std::string>{"café"}));
    // Bytes that are no character of the code page separate words instead of vanishing.
    EXPECT_EQ(wordsOf(chm::extractPageText("<p>ab\x80\x80\x80"
                                           "cd</p>",
                                           936)
                          .body),
              (std::vector<std::string>{"ab", "cd"}));
}

TEST(WordEncoder, EncodesIntoTheCodePage) {
    chm::WordEncoder gbk(936);
    ASSERT_TRUE(gbk.knownCodePage());
    std::string out;
    ASSERT_TRUE(gbk.encode(U"中文abc", out));
    EXPECT_EQ(out, "\xD6\xD0\xCE\xC4"
                   "abc");
    EXPECT_FALSE(chm::WordEncoder(1252).encode(U"中", out));
    EXPECT_FALSE(chm::WordEncoder(4242).knownCodePage());
}

// The cutter must store exactly what the text-then-words path stores: every decoding shortcut
// and the word cutting done as the markup is walked.
struct CutCase {
    const char* name;
    std::string html;
    std::uint32_t codePage;
};

class PageCutterCase : public testing::TestWithParam<CutCase> {};

void expectSameWords(std::string_view html, std::uint32_t codePage) {
    chm::WordEncoder encoder(codePage);
    const chm::PageWords expected = chm::pageWords(chm::extractPageText(html, codePage), encoder);
    chm::PageCutter cutter(codePage);
    chm::PageWords got;
    cutter.cut(html, got);
    ASSERT_EQ(got.titleWords, expected.titleWords);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got.word(i), expected.word(i)) << "word " << i;
    // A second page through the same cutter starts afresh.
    cutter.cut(html, got);
    EXPECT_EQ(got.bytes, expected.bytes);
}

TEST_P(PageCutterCase, StoresWhatTheTextPathStores) {
    expectSameWords(GetParam().html, GetParam().codePage);
}

const std::string kLongWord(120, 'x');

INSTANTIATE_TEST_SUITE_P(
    Pages, PageCutterCase,
    testing::Values(
        CutCase{"Ascii",
                "<html><head><title>The Title</title><style>p{}</style></head><body><!-- c -->"
                "<p class=\"a>b\">One&nbsp;two &amp; three&#x41;&#66;</p>a<b>c</b> &bogus; "
                "<script>x<y</script>end",
                1252},
        CutCase{"DeclaredUtf8Chinese",
                "<meta charset=\"utf-8\"><title>帮助</title><p>使用搜索功能Qt6版，カタカナ</p>",
                936},
        CutCase{"UndeclaredUtf8", "<p>\xC3\x89\x63ole Stra\xC3\x9F\x65 \xE4\xB8\xAD</p>", 1252},
        CutCase{"DeclaredGbk",
                "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                "<p>\xD6\xD0\xCE\xC4 abc</p>",
                1252},
        CutCase{"UndeclaredGbk",
                "<p>\xD6\xD0\xCE\xC4 ab\x80\x80\x80"
                "cd</p>",
                936},
        CutCase{"WesternBytes", "<p>caf\xE9 \xC9T\xC9 \x81 na\xEFve \x9C</p>", 1252},
        CutCase{"DeclaredWindowsCodePages",
                "<meta charset=\"cp1252\"><p>caf\xE9 \x81</p><meta charset=windows-1251>", 936},
        CutCase{"DeclaredHebrew", "<meta charset=\"windows-1255\"><p>\xF9\xC8\xEC</p>", 1252},
        CutCase{"HebrewJoinsAccents", "<p>\xF9\xC8\xEC\xE5\xED abc</p>", 1255},
        // Overlong forms, a surrogate and a cut-off sequence are no UTF-8.
        CutCase{"NotQuiteUtf8",
                "<p>a\xC0\xAF"
                "b \xED\xA0\x80 c\xE4\xB8</p>",
                1252},
        CutCase{"DeclaredUtf8Broken", "<meta charset=utf-8><p>ok \xFF\xFE bad\xE4</p>", 936},
        CutCase{"ByteOrderMark", "\xEF\xBB\xBF<p>start</p>", 1252},
        CutCase{"UnknownCharset", "<meta charset=x-nothing><p>plain words</p>", 1252},
        CutCase{"UnknownCodePage", "<p>plain \xE9 words</p>", 4242},
        // Characters that lower-case to ASCII, references to Han and to nothing, words that
        // are too long or have a character the code page lacks.
        CutCase{"Awkward",
                "<p>\xC4\xB0stanbul \xE2\x84\xAA &#x4E2D;&#25991; &#0; &#xD800;x " + kLongWord +
                    " caf\xC3\xA9\xE4\xB8\xAD ok</p>",
                1252},
        // UTF-8 pages are walked as their bytes: characters of two to four bytes next to markup,
        // references and ends of runs, and letters beyond ASCII that lower-case into a closing
        // tag's name (U+0130 to 'i'), must give what the decoded text gives.
        CutCase{"Utf8NextToMarkup",
                "<meta charset=utf-8><title>\xC3\x89t\xC3\xA9</title><p>\xE4\xB8\xAD&amp;"
                "\xF0\xA0\x80\x80x</p>\xC3\xA9<b>\xE6\x96\x87</b>",
                936},
        CutCase{"Utf8LowerCasesIntoATagName",
                "<script>a</scr\xC4\xB0pt> hidden </script>shown <style>b</st\xC3\xBDle>c</style>d",
                65001},
        CutCase{"Utf8LowerCasesToAscii",
                "<p>\xC4\xB0stanbul \xE2\x84\xAA&lt;\xE2\x80\x94"
                "end",
                1252}),
    [](const testing::TestParamInfo<CutCase>& c) { return std::string(c.param.name); });

// Pages made of random pieces of markup, text and bytes.
TEST(PageCutter, RandomPagesStoreWhatTheTextPathStores) {
    const char* pieces[] = {"<p>",       "</p>", "<title>",  "</title>", "<script>", "</script>",
                            "<!--",      "-->",  "&amp;",    "&#x4E2D;", "&",        "<",
                            ">",         "=\"",  "word",     "Word ",    " ",        "\xE4\xB8\xAD",
                            "\xC3\xA9",  "\xE9", "\xD6\xD0", "\x80",     "123",      "e-mail",
                            "<b x='>'>", "\xEF", "'",        ".",        "_",        "1.",
                            "don't",     "&#39;"};
    std::uint32_t seed = 7;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int round = 0; round < 300; ++round) {
        std::string html;
        const std::uint32_t count = next() % 60;
        for (std::uint32_t k = 0; k < count; ++k)
            html += pieces[next() % std::size(pieces)];
        for (const std::uint32_t codePage : {1252u, 936u, 65001u}) {
            SCOPED_TRACE(html);
            expectSameWords(html, codePage);
        }
    }
}

} // namespace
