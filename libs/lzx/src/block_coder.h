// Chooses the blocks for one parsed reset interval (one block over both frames, or one per frame,
// each verbatim, aligned-offset or uncompressed) by exact bit counts, and writes them.
#pragma once

#include "bit_writer.h"
#include "parser.h"

#include <cstdint>
#include <vector>

namespace lzx {

// Writes the interval's E8 header bit and blocks. data holds the interval's (padded) bytes, for
// uncompressed blocks. The writer must start at a word boundary; it ends at one too. For each
// frame, the writer's byteCount() at the frame's first bit is appended to frameStarts.
void encodeInterval(const IntervalTokens& parsed, const std::uint8_t* data, BitWriter& writer,
                    std::vector<std::uint64_t>& frameStarts);

} // namespace lzx
