// Code lengths must form complete prefix codes within the length limit: libmspack and chmlib
// both refuse an incomplete or over-full table, and a length above 16 cannot be sent.
#include "huffman.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace lzx {
namespace {

// Kraft sum in units of 2^-limit; a complete code sums to exactly 2^limit.
std::uint64_t kraft(const std::vector<std::uint8_t>& lengths, unsigned limit) {
    std::uint64_t sum = 0;
    for (const std::uint8_t len : lengths) {
        if (len != 0) {
            sum += std::uint64_t{1} << (limit - len);
        }
    }
    return sum;
}

struct Alphabet {
    const char* name;
    unsigned size;
    unsigned limit;
};

class CodeLengths : public ::testing::TestWithParam<Alphabet> {};

TEST_P(CodeLengths, AreCompleteAndLimitedForSkewedAndRandomCounts) {
    const Alphabet a = GetParam();
    std::mt19937 rng(42);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint32_t> counts(a.size);
        if (round % 2 == 0) {
            // Fibonacci-like counts give the deepest unrestricted trees.
            std::uint32_t x = 1, y = 1;
            for (auto& c : counts) {
                c = (rng() % 3 == 0) ? 0 : x;
                const std::uint32_t z = std::min<std::uint32_t>(x + y, 1u << 24);
                x = y;
                y = z;
            }
        } else {
            for (auto& c : counts)
                c = (rng() % 4 == 0) ? 0 : static_cast<std::uint32_t>(rng() % 1000);
        }
        std::vector<std::uint8_t> lengths(a.size);
        buildCodeLengths(counts, a.limit, lengths);
        const auto used = std::count_if(counts.begin(), counts.end(), [](auto c) { return c; });
        if (used == 0) {
            EXPECT_EQ(kraft(lengths, a.limit), 0u);
            continue;
        }
        EXPECT_EQ(kraft(lengths, a.limit), std::uint64_t{1} << a.limit) << "round " << round;
        for (std::size_t i = 0; i < a.size; ++i) {
            EXPECT_LE(lengths[i], a.limit);
            EXPECT_TRUE(counts[i] == 0 || lengths[i] > 0) << "used symbol " << i << " got no code";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Trees, CodeLengths,
                         ::testing::Values(Alphabet{"main", 512, 16}, Alphabet{"length", 249, 16},
                                           Alphabet{"pretree", 20, 15}, Alphabet{"aligned", 8, 7}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(CodeLengths, ALoneSymbolStillGetsACompleteTree) {
    for (const unsigned only : {0u, 1u, 7u}) {
        std::vector<std::uint32_t> counts(8);
        counts[only] = 5;
        std::vector<std::uint8_t> lengths(8);
        buildCodeLengths(counts, 7, lengths);
        EXPECT_EQ(lengths[only], 1);
        EXPECT_EQ(kraft(lengths, 7), 128u) << "only symbol " << only;
    }
}

} // namespace
} // namespace lzx
