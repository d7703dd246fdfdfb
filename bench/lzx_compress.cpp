// Compresses one file with the LZX encoder on one thread and prints the CPU seconds and the
// compressed size, so the compressor's throughput per core can be set beside gzip's.
#include "lzx/encoder.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lzx_compress FILE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const std::vector<std::uint8_t> input((std::istreambuf_iterator<char>(in)), {});
    const std::clock_t start = std::clock();
    const lzx::CompressedSection out = lzx::compress(input, {1});
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    std::printf("%.3f %zu\n", seconds, out.data.size());
    return 0;
}
