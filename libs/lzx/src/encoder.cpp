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

    void encode(std::span<const std::uint8_t> real, IntervalOutput& out) {
        // Pad to whole frames (an empty section still gets one frame of zeros). The bytes past
        // the padding are the parser's read slack.
        const auto realLength = static_cast<std::uint32_t>(real.size());
        const std::uint32_t size = std::max<std::uint32_t>(
            kFrameSize, (realLength + kFrameSize - 1) / kFrameSize * kFrameSize);
        if (!real.empty()) {
            std::memcpy(m_buffer.data(), real.data(), real.size());
        }
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
    const std::size_t intervals =
        std::max<std::size_t>(1, (input.size() + kResetInterval - 1) / kResetInterval);
    std::vector<IntervalOutput> outputs(intervals);

    auto intervalInput = [&](std::size_t i) {
        const std::size_t start = i * kResetInterval;
        return input.subspan(
            std::min(start, input.size()),
            std::min<std::size_t>(kResetInterval, input.size() - std::min(start, input.size())));
    };

    unsigned threads = options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
    threads = static_cast<unsigned>(std::clamp<std::size_t>(threads, 1, intervals));

    if (threads == 1) {
        IntervalEncoder encoder;
        for (std::size_t i = 0; i < intervals; ++i) {
            encoder.encode(intervalInput(i), outputs[i]);
        }
    } else {
        std::atomic<std::size_t> next{0};
        std::exception_ptr failure;
        std::mutex failureMutex;
        auto work = [&] {
            try {
                IntervalEncoder encoder;
                for (std::size_t i = next++; i < intervals; i = next++) {
                    encoder.encode(intervalInput(i), outputs[i]);
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
