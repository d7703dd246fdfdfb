// Helpers for the container tests: test data, temporary folders, running the independent
// readers (libmspack in process; chmlib's extract_chmLib and 7-Zip as real processes).
#pragma once

#include "scratch_files.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace container_test {

using Bytes = std::vector<std::uint8_t>;

// Deterministic data. textLike mimics HTML help pages (markup, words, repeats at all
// distances); randomBytes does not compress.
Bytes textLike(std::size_t size, std::uint32_t seed);
Bytes randomBytes(std::size_t size, std::uint32_t seed);

// One section-1 round-trip case: the files that go into one container.
struct Sample {
    std::string name;
    std::vector<std::pair<std::string, Bytes>> files;
};
// Empty input, one byte, a frame and a reset interval and one byte either side, incompressible
// data, long repeats, runs of 0xE8, compressible and incompressible frames side by side, data
// that makes aligned-offset blocks pay, a few files in folders, and thousands of files.
std::vector<Sample> roundTripSamples();

// Builds a .chm with every file in section 1; fails the current test on a write error.
Bytes buildChm(const std::vector<std::pair<std::string, Bytes>>& files, unsigned threads = 0);

// What libmspack makes of a .chm image.
struct MspackView {
    bool opened = false;
    std::vector<std::string> names; // in directory order, directories left out (as it lists them)
    std::map<std::string, Bytes> files;
    std::vector<std::string> problems; // warnings, extraction errors, names fast_find misses
};
MspackView readWithLibmspack(const Bytes& chm);

using chm_test::readBytes;
using chm_test::ScratchDir;
using chm_test::writeBytes;

// Runs a program found on PATH, output to log. Returns its exit status, or -1 if it did not
// exit normally.
int runProgram(const std::vector<std::string>& args, const std::filesystem::path& log);
bool haveProgram(const std::string& name);

} // namespace container_test
