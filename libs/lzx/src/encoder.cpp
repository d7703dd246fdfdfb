// Splits section 1 into reset intervals, compresses them on a pool of threads and joins the
// results in order, so the bytes never depend on the thread count.
#include "lzx/encoder.h"

#include "bit_writer.h"
#include "block_coder.h"
#include "parser.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

namespace lzx {
namespace {

struct IntervalOutput {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint64_t> frameStarts; // relative to bytes
};

using Pieces = std::span<const std::span<const std::uint8_t>>;

// Everything one thread reuses from interval to interval.
class IntervalEncoder {
public:
    IntervalEncoder() : m_buffer(kResetInterval + Parser::kReadSlack) {}

    // The interval's bytes are gathered from the pieces, starting at piece `first` whose first
    // byte is input byte firstStart; realLength of them are real, the rest up to size (a whole
    // number of frames) is zero padding.
    void encode(const Pieces& pieces, std::size_t first, std::size_t firstStart,
                std::size_t intervalStart, std::uint32_t realLength, std::uint32_t size,
                IntervalOutput& out) {
        std::size_t copied = 0;
        for (std::size_t p = first; copied < realLength && p < pieces.size(); ++p) {
            const std::size_t skip = p == first ? intervalStart - firstStart : 0;
            const std::size_t take = std::min(pieces[p].size() - skip, realLength - copied);
            if (take != 0) {
                std::memcpy(m_buffer.data() + copied, pieces[p].data() + skip, take);
            }
            copied += take;
        }
        // Zero padding, then the parser's read slack.
        std::fill(m_buffer.begin() + realLength, m_buffer.end(), std::uint8_t{0});

        m_parser.parse(m_buffer.data(), size, realLength, m_tokens);
        out.bytes.clear();
        out.bytes.reserve(size / 2);
        BitWriter writer(out.bytes);
        encodeInterval(m_tokens, m_buffer.data(), writer, out.frameStarts);
    }

private:
    std::vector<std::uint8_t> m_buffer;
    Parser m_parser;
    IntervalTokens m_tokens;
};

// Where the pieces lie in the input, and how the input splits into intervals.
struct Layout {
    Pieces pieces;
    std::vector<std::size_t> pieceStarts;
    std::size_t inputSize = 0;
    std::size_t padded = 0;
    std::size_t intervals = 0;

    explicit Layout(Pieces all) : pieces(all) {
        pieceStarts.reserve(pieces.size());
        for (const auto& piece : pieces) {
            pieceStarts.push_back(inputSize);
            inputSize += piece.size();
        }
        // The stream always ends with zero padding, at least one byte of it: libmspack decodes
        // one frame past a file that ends exactly on a frame boundary, and chmlib decodes the
        // last frame whole, so both find the frames they ask for.
        padded = (inputSize / kFrameSize + 1) * kFrameSize;
        intervals = (padded + kResetInterval - 1) / kResetInterval;
    }

    void encodeOne(IntervalEncoder& encoder, std::size_t i, IntervalOutput& out) const {
        const std::size_t start = i * kResetInterval;
        const std::size_t realStart = std::min(start, inputSize);
        const auto realLength = static_cast<std::uint32_t>(
            std::min<std::size_t>(kResetInterval, inputSize - realStart));
        const auto size =
            static_cast<std::uint32_t>(std::min<std::size_t>(kResetInterval, padded - start));
        // The last piece that starts at or before the interval (empty pieces are passed over
        // by the copy).
        const auto after = std::upper_bound(pieceStarts.begin(), pieceStarts.end(), realStart);
        const std::size_t first = after == pieceStarts.begin()
                                      ? 0
                                      : static_cast<std::size_t>(after - pieceStarts.begin()) - 1;
        const std::size_t firstStart = pieceStarts.empty() ? 0 : pieceStarts[first];
        encoder.encode(pieces, first, firstStart, realStart, realLength, size, out);
    }
};

unsigned threadCount(const EncoderOptions& options, std::size_t intervals) {
    const unsigned threads =
        options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
    return static_cast<unsigned>(
        std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(intervals, 1)));
}

// Compresses intervals [begin, end) into outputs on `threads` threads, this one among them.
void encodeRange(const Layout& layout, std::size_t begin, std::size_t end, unsigned threads,
                 std::vector<IntervalOutput>& outputs) {
    if (threads <= 1) {
        IntervalEncoder encoder;
        for (std::size_t i = begin; i < end; ++i) {
            layout.encodeOne(encoder, i, outputs[i]);
        }
        return;
    }
    std::atomic<std::size_t> next{begin};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto work = [&] {
        try {
            IntervalEncoder encoder;
            for (std::size_t i = next++; i < end; i = next++) {
                layout.encodeOne(encoder, i, outputs[i]);
            }
        } catch (...) {
            // Only allocation can fail here; hand it to the caller's thread.
            const std::lock_guard lock(failureMutex);
            failure = std::current_exception();
            next = end;
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    for (unsigned t = 1; t < threads; ++t) {
        pool.emplace_back(work);
    }
    work();
    for (std::thread& t : pool) {
        t.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

CompressedSection joinOutputs(std::vector<IntervalOutput>& outputs, std::size_t inputSize) {
    CompressedSection result;
    result.uncompressedLength = inputSize;
    std::size_t total = 0;
    for (const IntervalOutput& out : outputs) {
        total += out.bytes.size();
    }
    result.data.reserve(total);
    for (IntervalOutput& out : outputs) {
        const std::uint64_t base = result.data.size();
        for (const std::uint64_t start : out.frameStarts) {
            result.frameOffsets.push_back(base + start);
        }
        result.data.insert(result.data.end(), out.bytes.begin(), out.bytes.end());
        out.bytes = {};
    }
    return result;
}

} // namespace

CompressedSection compress(std::span<const std::uint8_t> input, const EncoderOptions& options) {
    const std::span<const std::uint8_t> pieces[] = {input};
    return compress(std::span<const std::span<const std::uint8_t>>(pieces), options);
}

CompressedSection compress(Pieces pieces, const EncoderOptions& options) {
    const Layout layout(pieces);
    std::vector<IntervalOutput> outputs(layout.intervals);
    encodeRange(layout, 0, layout.intervals, threadCount(options, layout.intervals), outputs);
    return joinOutputs(outputs, layout.inputSize);
}

CompressedSection compress(Pieces pieces, const LatePiece& last, const EncoderOptions& options) {
    std::vector<std::span<const std::uint8_t>> all(pieces.begin(), pieces.end());
    if (options.threads == 1) {
        all.push_back(last());
        return compress(std::span<const std::span<const std::uint8_t>>(all), options);
    }
    // The intervals that end before the last piece starts are the same whatever it holds.
    const Layout known(pieces);
    const std::size_t early = known.inputSize / kResetInterval;
    std::vector<IntervalOutput> outputs(early);
    std::exception_ptr failure;
    std::thread ahead;
    if (early > 0) {
        ahead = std::thread([&] {
            try {
                encodeRange(known, 0, early, threadCount(options, early), outputs);
            } catch (...) {
                failure = std::current_exception();
            }
        });
    }
    try {
        all.push_back(last());
    } catch (...) {
        if (ahead.joinable()) {
            ahead.join();
        }
        throw;
    }
    if (ahead.joinable()) {
        ahead.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    const Layout layout{Pieces(all)};
    outputs.resize(layout.intervals);
    encodeRange(layout, early, layout.intervals, threadCount(options, layout.intervals - early),
                outputs);
    return joinOutputs(outputs, layout.inputSize);
}

} // namespace lzx
