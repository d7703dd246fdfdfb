// LZX decoding of a CHM's MSCompressed section (section 1), one reset interval at a time.
//
// Every reset interval of a help file is a stream of its own: empty history, a fresh
// repeated-offset queue and fresh code lengths, 32 KiB frames that end on 16-bit boundaries.
// So an interval decodes from its own bytes alone, in any order and on any thread, which is what
// lets a reader decode the intervals ahead of it on several cores.
//
// Stricter than a decoder that runs through the whole section: a match may not reach back past
// the interval's start (no help file we know of does this; the reader then falls back to a
// decoder that keeps the window across resets). Like the decoders in the field, it refuses
// over-full and incomplete Huffman codes, matches that run past their block or frame, and
// blocks of an unknown type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace lzx {

// Bytes past the end of a decode that the decoder may overwrite (it copies matches eight bytes
// at a time); the caller's buffer must have them.
inline constexpr std::size_t kDecodeSlack = 16;

class Decoder {
public:
    // windowBits: 15..21, the window of 2^windowBits bytes that ControlData names.
    explicit Decoder(unsigned windowBits);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // The window sizes a help file may name.
    static bool supportsWindowBits(unsigned windowBits) {
        return windowBits >= 15 && windowBits <= 21;
    }

    // Decodes up to `length` bytes of one reset interval from its compressed bits `in` into `out`
    // (out.size() >= length + kDecodeSlack; the slack may be overwritten). `length` is the
    // interval's length rounded up to a whole frame where the data ends inside one: compilers
    // pad the last frame. Returns how many bytes decoded before the bits ran out or went wrong;
    // the caller decides whether that covers what it needs.
    std::size_t decodeInterval(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                               std::size_t length);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace lzx
