// The language table and the conversions, with expected values from Windows' own tables.
#include "text/code_page.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePage, LanguagesOutsideTheSimpleCases) {
    // Languages two earlier tables disagreed on; the code page of each is Windows' own.
    EXPECT_EQ(text::codePageForLcid(0x0418), 1250u); // Romanian
    EXPECT_EQ(text::codePageForLcid(0x0C01), 1256u); // Arabic (Egypt)
    EXPECT_EQ(text::codePageForLcid(0x081A), 1250u); // Serbian (Latin)
    EXPECT_EQ(text::codePageForLcid(0x0C1A), 1251u); // Serbian (Cyrillic)
    EXPECT_EQ(text::codePageForLcid(0x1404), 950u);  // Chinese (Macao)
    EXPECT_EQ(text::codePageForLcid(0x0809), 1252u); // English (United Kingdom)
}

TEST(CodePage, WebNamesForEveryTableEntry) {
    for (std::uint32_t lcid = 0; lcid <= 0xFFFF; ++lcid)
        ASSERT_FALSE(text::webCharsetForCodePage(text::codePageForLcid(lcid)).empty()) << lcid;
    EXPECT_EQ(text::webCharsetForCodePage(950), "Big5");
    EXPECT_EQ(text::webCharsetForCodePage(1250), "windows-1250");
    EXPECT_EQ(text::webCharsetForCodePage(437), "");
}

TEST(CodePage, DisplayTextFallsBackStepByStep) {
    EXPECT_EQ(text::displayUtf8("plain", 936), "plain");
    EXPECT_EQ(text::displayUtf8("\xA4\xA4\xA4\xE5", 950),
              "\xE4\xB8\xAD\xE6\x96\x87"); // 中文 in Big5
    EXPECT_EQ(text::displayUtf8("\xE4\xB8\xAD", 1252),
              "\xC3\xA4\xC2\xB8\xC2\xAD"); // cp1252 reads all
    // GBK cannot read a UTF-8 "中文" (its last byte pairs with nothing), so it stays UTF-8.
    EXPECT_EQ(text::displayUtf8("\xE4\xB8\xAD\xE6\x96\x87", 936), "\xE4\xB8\xAD\xE6\x96\x87");
    // Neither: the bytes GBK cannot read become U+FFFD, the rest is kept.
    EXPECT_EQ(text::displayUtf8("a\xD6\xD0\xFF", 936), "a\xE4\xB8\xAD\xEF\xBF\xBD");
}

TEST(CodePage, ConversionIntoACodePageMarksLosses) {
    const text::Conversion gbk = text::fromUtf8("\xE4\xB8\xAD\xE2\x82\xAC\xF0\x9F\x98\x80", 936);
    EXPECT_EQ(gbk.text, "\xD6\xD0\x80?"); // 中, the euro sign, and no emoji in GBK
    EXPECT_TRUE(gbk.lossy);
    EXPECT_FALSE(text::fromUtf8("x", 437).ok);
    EXPECT_FALSE(text::toUtf8("\xFF", 936).has_value());
}

} // namespace
