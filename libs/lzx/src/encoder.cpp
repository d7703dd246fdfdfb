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

// Everything one thread reuses from interval to interval.
class IntervalEncoder {
public:
    IntervalEncoder() : m_buffer(kResetInterval + Parser::kReadSlack) {}

    // real: the interval's bytes; size: its padded length, a whole number of frames.
    void encode(std::span<const std::uint8_t> real, std::uint32_t size, IntervalOutput& out) {
        const auto realLength = static_cast<std::uint32_t>(real.size());
        if (!real.empty()) {
            std::memcpy(m_buffer.data(), real.data(), real.size());
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

} // namespace

CompressedSection compress(std::span<const std::uint8_t> input, const EncoderOptions& options) {
    // The stream always ends with zero padding, at least one byte of it: libmspack decodes one
    // frame past a file that ends exactly on a frame boundary, and chmlib decodes the last frame
    // whole, so both find the frames they ask for.
    const std::size_t padded = (input.size() / kFrameSize + 1) * kFrameSize;
    const std::size_t intervals = (padded + kResetInterval - 1) / kResetInterval;
    std::vector<IntervalOutput> outputs(intervals);

    auto encodeOne = [&](IntervalEncoder& encoder, std::size_t i) {
        const std::size_t start = i * kResetInterval;
        const std::size_t realStart = std::min(start, input.size());
        const std::size_t realLength =
            std::min<std::size_t>(kResetInterval, input.size() - realStart);
        const auto size =
            static_cast<std::uint32_t>(std::min<std::size_t>(kResetInterval, padded - start));
        encoder.encode(input.subspan(realStart, realLength), size, outputs[i]);
    };

    unsigned threads = options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
    threads = static_cast<unsigned>(std::clamp<std::size_t>(threads, 1, intervals));

    if (threads == 1) {
        IntervalEncoder encoder;
        for (std::size_t i = 0; i < intervals; ++i) {
            encodeOne(encoder, i);
        }
    } else {
        std::atomic<std::size_t> next{0};
        std::exception_ptr failure;
        std::mutex failureMutex;
        auto work = [&] {
            try {
                IntervalEncoder encoder;
                for (std::size_t i = next++; i < intervals; i = next++) {
                    encodeOne(encoder, i);
                }
            } catch (...) {
                // Only allocation can fail here; hand it to the caller's thread.
                const std::lock_guard lock(failureMutex);
                failure = std::current_exception();
                next = intervals;
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

    CompressedSection result;
    result.uncompressedLength = input.size();
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

} // namespace lzx
