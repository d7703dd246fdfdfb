// LZX compression of a CHM's MSCompressed section (section 1).
//
// The output is the bitstream Microsoft's HTML Help compiler writes: a 64 KiB window, a reset every
// 64 KiB of input (each interval an independent stream with empty history), 32 KiB frames each
// ending on a 16-bit boundary, E8 translation off, and the data followed by zero bytes up to the
// next frame boundary (a whole frame of them when the data ends on one: libmspack decodes one
// frame past such an end). Intervals are compressed in parallel; the bytes never depend on the
// thread count.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace lzx {

// The CHM parameters this encoder writes (ControlData: window 2, reset interval 2, in frames).
inline constexpr std::uint32_t kFrameSize = 0x8000;      // uncompressed bytes per frame
inline constexpr std::uint32_t kResetInterval = 0x10000; // uncompressed bytes between resets
inline constexpr std::uint32_t kWindowSize = 0x10000;    // LZX window (window bits 16)
inline constexpr std::uint32_t kFramesPerReset = kResetInterval / kFrameSize;

struct EncoderOptions {
    unsigned threads = 0; // 0 = all cores; 1 = compress on the calling thread only
};

struct CompressedSection {
    std::vector<std::uint8_t> data; // the LZX bitstream (the CHM's Content file)
    // Where each 32 KiB output frame starts in data; one entry per frame (uncompressedLength /
    // kFrameSize + 1 of them), entry 0 is 0. The container's ResetTable adds a final entry equal
    // to data.size() itself.
    std::vector<std::uint64_t> frameOffsets;
    std::uint64_t uncompressedLength = 0; // the input's length, without the last frame's padding
};

// Never fails (short of memory). Empty input gives one frame of zero padding, so a container
// always holds a decodable stream.
CompressedSection compress(std::span<const std::uint8_t> input, const EncoderOptions& options = {});

// The same for input given as pieces (the files of section 1, in order), compressed exactly as
// if they were joined, without joining them: each interval is gathered as it is compressed.
CompressedSection compress(std::span<const std::span<const std::uint8_t>> pieces,
                           const EncoderOptions& options = {});

// Makes the last piece of the input; the span must stay valid until compress() returns.
using LatePiece = std::function<std::span<const std::uint8_t>()>;

// The same, where the last piece is still being made: the intervals that lie wholly before it
// are compressed on other threads while last() runs on this one, the rest once it returns. The
// bytes are those of compressing all pieces at once. An exception from last() is passed on.
CompressedSection compress(std::span<const std::span<const std::uint8_t>> pieces,
                           const LatePiece& last, const EncoderOptions& options = {});

} // namespace lzx
