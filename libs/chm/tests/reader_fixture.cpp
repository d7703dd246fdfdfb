#include "reader_fixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace readertest {

fs::path fixtureDir() {
    return fs::path(QUORLIN_READER_FIXTURES);
}

fs::path sampleChm() {
    return fixtureDir() / "sample.chm";
}

std::size_t findBytes(const std::vector<std::uint8_t>& bytes, std::string_view needle) {
    auto it = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end(),
                          [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
    return it == bytes.end() ? std::string::npos : static_cast<std::size_t>(it - bytes.begin());
}

bool renameEntry(std::vector<std::uint8_t>& bytes, std::string_view from, std::string_view to) {
    if (from.size() != to.size() || from.size() > 127)
        return false;
    std::string key(1, static_cast<char>(from.size()));
    key.append(from);
    std::size_t at = findBytes(bytes, key);
    if (at == std::string::npos)
        return false;
    std::copy(to.begin(), to.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at + 1));
    return true;
}

std::vector<std::string> listFiles(const fs::path& root) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            out.push_back(fs::relative(e.path(), root).generic_string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace readertest
