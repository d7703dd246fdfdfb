// Shared helpers for the reader tests: the fixture help file, scratch folders and patching.
#pragma once

#include "scratch_files.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace readertest {

std::filesystem::path fixtureDir();
std::filesystem::path sampleChm();
using chm_test::readBytes;
using chm_test::ScratchDir;
using chm_test::writeBytes;

// Position of the first occurrence of `needle` in `bytes`, or npos.
std::size_t findBytes(const std::vector<std::uint8_t>& bytes, std::string_view needle);
// Replaces a stored name in the directory by another of the same length.
bool renameEntry(std::vector<std::uint8_t>& bytes, std::string_view from, std::string_view to);
// Every regular file under `root`, as "/"-separated relative names, sorted.
std::vector<std::string> listFiles(const std::filesystem::path& root);

} // namespace readertest
