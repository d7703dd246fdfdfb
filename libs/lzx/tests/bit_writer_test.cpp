// The bit order decoders expect: MSB-first inside 16-bit words stored low byte first.
#include "bit_writer.h"

#include <gtest/gtest.h>

namespace lzx {
namespace {

TEST(BitWriter, PacksBitsMsbFirstIntoLittleEndianWords) {
    std::vector<std::uint8_t> out;
    BitWriter writer(out);
    writer.put(0b101, 3);   // first bits of word 0: 101
    writer.put(0x1234, 16); // straddles words 0 and 1
    writer.put(0, 1);
    EXPECT_EQ(writer.alignToWord(), 12u); // 20 bits written -> 12 pad bits
    // Word 0 = 101 0001 0010 0011 0 = 0xA246 (bits: 1010 0010 0100 0110)
    // Word 1 = 100 0 + 12 zero pad bits = 0x8000
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], 0x46); // low byte of word 0 first
    EXPECT_EQ(out[1], 0xA2);
    EXPECT_EQ(out[2], 0x00);
    EXPECT_EQ(out[3], 0x80);

    // On a word boundary nothing is added; a full-width put keeps every bit.
    writer.put(0xFFFF, 16);
    writer.put(0xABCDEF01u, 32);
    EXPECT_EQ(writer.alignToWord(), 0u);
    EXPECT_EQ(writer.pendingBits(), 0u);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0x46, 0xA2, 0x00, 0x80, 0xFF, 0xFF, 0xCD, 0xAB, 0x01,
                                              0xEF}));
}

} // namespace
} // namespace lzx
