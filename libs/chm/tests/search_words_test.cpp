// The word rule, page text extraction and the code-page encoding of words.
#include "chm/search_words.h"

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
        // Only letters and digits join: punctuation, underscores and apostrophes separate.
        WordCase{U"a_b don't 1.0.51 e-mail x86",
                 {"a", "b", "don", "t", "1", "0", "51", "e", "mail", "x86"}},
        WordCase{U"  \t\r\n", {}},
        // Letters beyond ASCII are letters, lower-cased by Unicode's rule.
        WordCase{U"ÉCOLE Straße ΑΒΓ Привет", {"école", "straße", "αβγ", "привет"}},
        // Han ideographs and kana are words of one character; Latin runs beside them are not.
        WordCase{U"使用搜索功能Qt6版，カタカナ",
                 {"使", "用", "搜", "索", "功", "能", "qt6", "版", "カ", "タ", "カ", "ナ"}},
        // Full-width punctuation separates; full-width digits are digits.
        WordCase{U"目录。索引：１２３", {"目", "录", "索", "引", "１２３"}}));

TEST(PageText, DropsMarkupKeepsTitleApart) {
    const auto page = chm::extractPageText(
        "<html><head><title>The  Title</title><style>p{x:1}</style>"
        "<script>var hidden=1;</script></head><body><!-- gone -->"
        "<p class=\"a>b\">One&nbsp;two &amp; three&#x41;&#66;</p>a<b>c</b> 1 &lt; 2 &bogus;"
        "<SCRIPT type=x>if (a<b) c();</SCRIPT>end</body></html>",
        1252);
    EXPECT_EQ(wordsOf(page.title), (std::vector<std::string>{"the", "title"}));
    // Tags separate words; unknown references stay text.
    EXPECT_EQ(wordsOf(page.body), (std::vector<std::string>{"one", "two", "threeab", "a", "c", "1",
                                                            "2", "bogus", "end"}));
}

TEST(PageText, DecodesByDeclaredCharsetUtf8OrCodePage) {
    // GBK bytes for 中文 in a page that says so, a UTF-8 page without a declaration, and a
    // page in the project's code page.
    const std::string gbk = "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                            "charset=gb2312\"><p>\xD6\xD0\xCE\xC4</p>";
    EXPECT_EQ(wordsOf(chm::extractPageText(gbk, 1252).body),
              (std::vector<std::string>{"中", "文"}));
    EXPECT_EQ(wordsOf(chm::extractPageText("<p>\xE4\xB8\xAD\xE6\x96\x87</p>", 936).body),
              (std::vector<std::string>{"中", "文"}));
    EXPECT_EQ(wordsOf(chm::extractPageText("<p>\xD6\xD0\xCE\xC4</p>", 936).body),
              (std::vector<std::string>{"中", "文"}));
    EXPECT_EQ(wordsOf(chm::extractPageText("<p>caf\xE9</p>", 1252).body),
              (std::vector<std::string>{"café"}));
    // Bytes that are no character of the code page separate words instead of vanishing.
    EXPECT_EQ(wordsOf(chm::extractPageText("<p>ab\x80\x80\x80"
                                           "cd</p>",
                                           936)
                          .body)
                  .front(),
              "ab");
}

TEST(WordEncoder, EncodesIntoTheCodePage) {
    chm::WordEncoder gbk(936);
    ASSERT_TRUE(gbk.knownCodePage());
    std::string out;
    ASSERT_TRUE(gbk.encode(U"中文abc", out));
    EXPECT_EQ(out, "\xD6\xD0\xCE\xC4"
                   "abc");
    chm::WordEncoder western(1252);
    ASSERT_TRUE(western.encode(U"école", out));
    EXPECT_EQ(out, "\xE9"
                   "cole");
    EXPECT_FALSE(western.encode(U"中", out));
    EXPECT_FALSE(chm::WordEncoder(4242).knownCodePage());
}

} // namespace
