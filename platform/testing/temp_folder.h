// A fresh folder for one test under the system's temporary folder, removed with all it holds
// when the object goes. A test that made a folder inside it current is moved back out first.
// Plain standard C++, so the tests of every layer can use it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace host::testing {

inline void writeFile(const std::filesystem::path& file, const std::string& content) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class TempFolder {
public:
    TempFolder() {
        std::error_code ec;
        m_started = std::filesystem::current_path(ec);
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() /
                 ("quorlin-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ec;
        const auto current = std::filesystem::current_path(ec).string();
        if (current.starts_with(m_path.string())) {
            std::filesystem::current_path(m_started, ec);
        }
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    // The full path of name, as the program's routines take it.
    std::string str(const std::string& name = {}) const {
        return name.empty() ? m_path.string() : (m_path / name).string();
    }

    void write(const std::string& name, const std::string& content = "x") const {
        writeFile(m_path / name, content);
    }
    std::string read(const std::string& name) const { return readFile(m_path / name); }

    // Lays out folder name as a program folder with the shipped templates, taken from the
    // source tree that QUORLIN_SOURCE_DIR names. Returns it with a trailing separator.
    std::string programFolder(const std::string& name = "app") const {
        const char* source = std::getenv("QUORLIN_SOURCE_DIR");
        const std::filesystem::path data = std::filesystem::path(source ? source : ".") / "data";
        std::filesystem::create_directories(m_path / name);
        for (const char* file : {"chm_dll0.dll", "chm_dll1.dll"}) {
            std::filesystem::copy_file(data / file, m_path / name / file,
                                       std::filesystem::copy_options::overwrite_existing);
        }
        return str(name) + std::string(1, std::filesystem::path::preferred_separator);
    }

private:
    std::filesystem::path m_started;
    std::filesystem::path m_path;
};

} // namespace host::testing
