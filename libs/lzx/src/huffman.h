// Canonical Huffman codes for the LZX trees: length-limited code lengths from symbol counts, and
// the codes those lengths stand for.
#pragma once

#include <cstdint>
#include <span>

namespace lzx {

// Code lengths (at most maxLength) for symbols with the given counts; a count of 0 gives length 0.
// The code is always complete, as LZX decoders demand: if fewer than two symbols are used, one
// or two unused symbols get length 1 so that the tree still has exactly two leaves at depth 1.
// If no symbol is used at all every length is 0 (an empty tree; legal only for the length tree).
// Ties are broken by symbol number, so the result depends on the counts alone.
void buildCodeLengths(std::span<const std::uint32_t> counts, unsigned maxLength,
                      std::span<std::uint8_t> lengths);

// Canonical codes: symbols ordered by (length, symbol) get consecutive codes. codes[i] holds the
// code of symbol i in its low lengths[i] bits, to be sent most significant bit first.
void buildCodes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes);

} // namespace lzx
