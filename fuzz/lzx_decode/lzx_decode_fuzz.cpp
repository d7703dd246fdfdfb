// Fuzz target for the LZX decoder. An input whose first byte is odd is data: our encoder
// compresses it and every interval must decode back to it. Otherwise the rest of the input is
// the bits of one interval, decoded with the window the second byte picks; the decoder must
// stop on its own without reading or writing outside its buffers.
#include "lzx/decoder.h"
#include "lzx/encoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void roundTrip(std::span<const std::uint8_t> data) {
    const lzx::CompressedSection section = lzx::compress(data, {1});
    lzx::Decoder decoder(16);
    std::vector<std::uint8_t> out(lzx::kResetInterval + lzx::kDecodeSlack);
    const std::size_t frames = section.frameOffsets.size();
    for (std::size_t f = 0; f < frames; f += lzx::kFramesPerReset) {
        const std::size_t start = f * lzx::kFrameSize;
        if (start >= data.size() && start > 0)
            break;
        const std::size_t from = section.frameOffsets[f];
        const std::size_t to = f + lzx::kFramesPerReset < frames
                                   ? section.frameOffsets[f + lzx::kFramesPerReset]
                                   : section.data.size();
        const std::size_t want = std::min<std::size_t>(lzx::kResetInterval, data.size() - start);
        const std::size_t padded =
            std::min<std::size_t>(lzx::kResetInterval, (frames - f) * lzx::kFrameSize);
        const std::size_t got =
            decoder.decodeInterval(std::span(section.data).subspan(from, to - from), out, padded);
        if (got < want || std::memcmp(out.data(), data.data() + start, want) != 0) {
            std::fprintf(stderr, "interval at %zu does not decode to its input\n", start);
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::span<const std::uint8_t> rest(data + 2, size - 2);
    if (data[0] & 1) {
        roundTrip(rest);
        return 0;
    }
    lzx::Decoder decoder(15 + data[1] % 7u);
    const std::size_t length = data[1] & 0x80 ? 0x10000 : 0x8000;
    std::vector<std::uint8_t> out(length + lzx::kDecodeSlack);
    decoder.decodeInterval(rest, out, length);
    return 0;
}
