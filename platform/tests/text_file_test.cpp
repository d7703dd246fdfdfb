#include "platform/text_file.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<std::string> linesOf(std::string content) {
    host::TextReader reader(std::move(content));
    std::vector<std::string> lines;
    while (!reader.atEndOfStream()) {
        lines.push_back(reader.readLine());
    }
    return lines;
}

TEST(TextReader, EveryTerminatorEndsOneLineAndTheLastLineCounts) {
    using V = std::vector<std::string>;
    EXPECT_EQ(linesOf(""), V{});
    EXPECT_EQ(linesOf("a"), V{"a"});
    EXPECT_EQ(linesOf("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(linesOf("a\r\n\r\nb\r\n"), (V{"a", "", "b"}));
    EXPECT_EQ(linesOf("\n\n"), (V{"", ""}));
    // Bytes pass through: GBK for "标题" is not touched.
    EXPECT_EQ(linesOf("\xb1\xea\xcc\xe2\r\n"), V{"\xb1\xea\xcc\xe2"});
}

} // namespace
