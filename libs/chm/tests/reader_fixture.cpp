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

std::vector<std::uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

ScratchDir::ScratchDir() {
    std::random_device rd;
    m_path = fs::temp_directory_path() / ("quorlin-reader-" + std::to_string(rd()));
    fs::create_directories(m_path);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
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
