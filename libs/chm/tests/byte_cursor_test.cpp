// The cursor every reader of untrusted bytes goes through: reads that would pass the end fail,
// and a failure sticks.
#include "chm/byte_cursor.h"

#include <gtest/gtest.h>

namespace {

using chm::ByteCursor;

TEST(ByteCursor, ReadsLittleEndianAndStopsAtTheEnd) {
    const std::vector<std::uint8_t> b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    ByteCursor c(b);
    EXPECT_EQ(c.u16(), 0x0201u);
    EXPECT_EQ(c.u32(), 0x06050403u);
    EXPECT_EQ(c.remaining(), 1u);
    EXPECT_EQ(c.u16(), 0u); // one byte short: fails, consumes nothing
    EXPECT_FALSE(c.ok());
    EXPECT_EQ(c.position(), 6u);
    EXPECT_EQ(c.u8(), 0u); // and stays failed
    EXPECT_EQ(c.at(6).u8(), 7u);
    EXPECT_FALSE(c.at(8).ok());
    EXPECT_EQ(c.at(8).remaining(), 0u);
    EXPECT_TRUE(c.at(7).bytes(0).empty());
    EXPECT_FALSE(c.at(7).skip(1));
}

TEST(ByteCursor, VarintsAndStrings) {
    const std::vector<std::uint8_t> b = {0x96, 0x01, 'a', 'b', 0, 'c'};
    ByteCursor c(b);
    EXPECT_EQ(c.varint(), 150u); // 0x16 | 1 << 7
    EXPECT_EQ(c.cString(), "ab");
    EXPECT_EQ(c.cString(), ""); // "c" has no terminator
    EXPECT_FALSE(c.ok());
    const std::vector<std::uint8_t> eleven(11, 0xFF); // more than 64 bits of value
    ByteCursor overlong(eleven);
    overlong.varint();
    EXPECT_FALSE(overlong.ok());
    ByteCursor cut(std::span<const std::uint8_t>(b).first(1)); // 0x96 continues past the end
    cut.varint();
    EXPECT_FALSE(cut.ok());
}

} // namespace
