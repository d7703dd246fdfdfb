// Length-limited Huffman code lengths (Moffat-Katajainen in place, then a Kraft-sum repair) and
// canonical code assignment.
#include "huffman.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <vector>

namespace lzx {
namespace {

// The largest alphabet we build a code for (the main tree).
constexpr unsigned kMaxSymbols = 512;
constexpr unsigned kMaxLengthLimit = 16;

// Optimal code lengths for weights sorted ascending, computed in place (Moffat and Katajainen,
// "In-place calculation of minimum-redundancy codes", 1995). On return a[i] is the length of the
// symbol whose weight was a[i]; lengths come out non-increasing. n >= 2.
void minimumRedundancyLengths(std::uint32_t* a, unsigned n) {
    // Phase 1: build the tree, internal node weights and parent pointers share the array.
    a[0] += a[1];
    unsigned root = 0;
    unsigned leaf = 2;
    for (unsigned next = 1; next < n - 1; ++next) {
        if (leaf >= n || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = next;
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= n || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = next;
        } else {
            a[next] += a[leaf++];
        }
    }
    // Phase 2: depths of the internal nodes.
    a[n - 2] = 0;
    for (int next = static_cast<int>(n) - 3; next >= 0; --next) {
        a[next] = a[a[next]] + 1;
    }
    // Phase 3: depths of the leaves.
    int available = 1;
    int used = 0;
    std::uint32_t depth = 0;
    int rootIndex = static_cast<int>(n) - 2;
    int next = static_cast<int>(n) - 1;
    while (available > 0) {
        while (rootIndex >= 0 && a[rootIndex] == depth) {
            ++used;
            --rootIndex;
        }
        while (available > used) {
            a[next--] = depth;
            --available;
        }
        available = 2 * used;
        ++depth;
        used = 0;
    }
}

} // namespace

void buildCodeLengths(std::span<const std::uint32_t> counts, unsigned maxLength,
                      std::span<std::uint8_t> lengths) {
    assert(counts.size() == lengths.size() && counts.size() <= kMaxSymbols);
    assert(maxLength >= 1 && maxLength <= kMaxLengthLimit);
    std::fill(lengths.begin(), lengths.end(), std::uint8_t{0});

    // Used symbols sorted by (count, symbol): the sort key packs both into one integer.
    std::array<std::uint64_t, kMaxSymbols> order;
    unsigned used = 0;
    for (unsigned i = 0; i < counts.size(); ++i) {
        if (counts[i] != 0) {
            order[used++] = (std::uint64_t{counts[i]} << 16) | i;
        }
    }
    if (used == 0) {
        return;
    }
    if (used == 1) {
        // A lone symbol still needs a complete tree: pair it with another (unused) symbol.
        const unsigned only = static_cast<unsigned>(order[0] & 0xFFFF);
        lengths[only] = 1;
        lengths[only == 0 ? 1 : 0] = 1;
        return;
    }
    std::sort(order.begin(), order.begin() + used);

    std::array<std::uint32_t, kMaxSymbols> work;
    for (unsigned i = 0; i < used; ++i) {
        work[i] = static_cast<std::uint32_t>(order[i] >> 16);
    }
    minimumRedundancyLengths(work.data(), used);

    // Count leaves per length, folding everything deeper than the limit onto the limit; then
    // repair the Kraft sum. Each step removes one leaf at the deepest level and splits a leaf one
    // level up into two, which lowers the sum by exactly one unit of 2^-maxLength.
    std::array<unsigned, kMaxSymbols + 1> perLength{};
    for (unsigned i = 0; i < used; ++i) {
        ++perLength[std::min<std::uint32_t>(work[i], maxLength)];
    }
    std::uint64_t kraft = 0;
    for (unsigned len = 1; len <= maxLength; ++len) {
        kraft += std::uint64_t{perLength[len]} << (maxLength - len);
    }
    const std::uint64_t full = std::uint64_t{1} << maxLength;
    while (kraft > full) {
        --perLength[maxLength];
        for (unsigned len = maxLength - 1; len >= 1; --len) {
            if (perLength[len] != 0) {
                --perLength[len];
                perLength[len + 1] += 2;
                break;
            }
        }
        --kraft;
    }

    // The rarest symbols (front of order) take the longest codes.
    unsigned index = 0;
    for (unsigned len = maxLength; len >= 1; --len) {
        for (unsigned k = 0; k < perLength[len]; ++k) {
            lengths[order[index++] & 0xFFFF] = static_cast<std::uint8_t>(len);
        }
    }
}

void buildCodes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes) {
    assert(codes.size() == lengths.size());
    std::array<unsigned, kMaxLengthLimit + 1> perLength{};
    for (const std::uint8_t len : lengths) {
        ++perLength[len];
    }
    perLength[0] = 0;
    std::array<unsigned, kMaxLengthLimit + 2> next{};
    unsigned code = 0;
    for (unsigned len = 1; len <= kMaxLengthLimit; ++len) {
        code = (code + perLength[len - 1]) << 1;
        next[len] = code;
    }
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const unsigned len = lengths[i];
        codes[i] = len == 0 ? 0 : static_cast<std::uint16_t>(next[len]++);
    }
}

} // namespace lzx
