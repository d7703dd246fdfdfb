// The host's file system over std::filesystem. On POSIX hosts names are matched without regard
// to case by scanning the folder, so projects written on Windows find their pages.
#include "platform/file_system.h"

#include "platform/host_error.h"
#include "platform/path_style.h"
#include "text/wildcard.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace host {

namespace {

unsigned char lowerAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(static_cast<unsigned char>(a[i])) !=
            lowerAscii(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool lessNoCase(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = lowerAscii(static_cast<unsigned char>(a[i]));
        const auto cb = lowerAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb) {
            return ca < cb;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b; // names that differ only in case: a stable order all the same
}

bool hasWildcard(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

bool isHidden(const std::string& name) {
    return !name.empty() && name.front() == '.';
}

std::string u8(const fs::path& p) {
    const auto s = p.u8string();
    return std::string(s.begin(), s.end());
}

fs::path fromU8(const std::string& s) {
    return fs::path(std::u8string(s.begin(), s.end()));
}

// Finds the on-disk spelling of a path whose components may differ in case. Returns the path
// unchanged when it exists as given or when some component has no match.
std::string resolveCase(const std::string& path) {
    std::error_code ec;
    if (fs::exists(fromU8(path), ec)) {
        return path;
    }
    if constexpr (kHostPathStyle == PathStyle::Windows) {
        return path; // the file system already ignores case
    }
    std::string resolved;
    std::size_t pos = 0;
    if (!path.empty() && path.front() == '/') {
        resolved = "/";
        pos = 1;
    }
    while (pos <= path.size()) {
        std::size_t next = path.find('/', pos);
        if (next == std::string::npos) {
            next = path.size();
        }
        const std::string part = path.substr(pos, next - pos);
        if (!part.empty()) {
            const std::string base = resolved.empty() ? std::string(".") : resolved;
            std::string candidate = resolved + part;
            if (!fs::exists(fromU8(candidate), ec)) {
                bool found = false;
                for (const auto& entry : fs::directory_iterator(fromU8(base), ec)) {
                    const std::string name = u8(entry.path().filename());
                    if (equalsNoCase(name, part)) {
                        candidate = resolved + name;
                        found = true;
                        break;
                    }
                }
                if (!found) {
                    return path;
                }
            }
            resolved = candidate;
            if (next < path.size()) {
                resolved += '/';
            }
        } else if (next < path.size() && !resolved.empty() && resolved.back() != '/') {
            resolved += '/';
        }
        pos = next + 1;
    }
    return resolved;
}

// The names of a folder's entries that are not hidden and pass keep, in case-insensitive order.
template <typename Keep> std::vector<std::string> namesIn(const std::string& folder, Keep keep) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(fromU8(resolveCase(toHostPath(folder))), ec);
    if (ec) {
        throw HostError(folderReadError(folder, ec));
    }
    for (const auto& entry : it) {
        std::string name = u8(entry.path().filename());
        if (!isHidden(name) && keep(entry, name)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end(), lessNoCase);
    return names;
}

FileStamp stampAt(const fs::path& file) {
    FileStamp stamp;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        return stamp;
    }
    stamp.exists = true;
    stamp.size = fs::file_size(file, ec);
    stamp.modified = fs::last_write_time(file, ec);
#ifndef _WIN32
    // POSIX only: a Windows port takes the volume serial number and file index from
    // GetFileInformationByHandle instead.
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0) {
        stamp.device = static_cast<std::uint64_t>(info.st_dev);
        stamp.inode = static_cast<std::uint64_t>(info.st_ino);
    }
#endif
    return stamp;
}

class StreamTextWriter : public TextWriter {
public:
    StreamTextWriter(std::string path, std::ofstream stream)
        : m_path(std::move(path)), m_stream(std::move(stream)) {}
    ~StreamTextWriter() override {
        if (m_stream.is_open()) {
            m_stream.close();
        }
    }
    void writeLine(std::string_view line) override {
        m_stream.write(line.data(), static_cast<std::streamsize>(line.size()));
        m_stream.write("\r\n", 2);
        if (!m_stream) {
            throw HostError("无法写入文件 " + m_path);
        }
    }
    void close() override {
        m_stream.close();
        if (m_stream.fail()) {
            throw HostError("无法写入文件 " + m_path);
        }
    }

private:
    std::string m_path;
    std::ofstream m_stream;
};

class HostFileSystem : public FileSystem {
public:
    TextReader openTextFile(const std::string& path) override {
        const std::string hostPath = resolveCase(toHostPath(path));
        std::error_code ec;
        if (fs::is_directory(fromU8(hostPath), ec)) {
            throw HostError("无法打开文件 " + path + "：这是一个文件夹");
        }
        std::ifstream in(fromU8(hostPath), std::ios::binary);
        if (!in) {
            throw HostError("无法打开文件 " + path + "：" + std::strerror(errno));
        }
        std::ostringstream content;
        content << in.rdbuf();
        if (in.bad()) {
            throw HostError("无法读取文件 " + path);
        }
        return TextReader(content.str());
    }

    std::unique_ptr<TextWriter> createTextFile(const std::string& path) override {
        const std::string hostPath = resolveCase(toHostPath(path));
        std::ofstream out(fromU8(hostPath), std::ios::binary | std::ios::trunc);
        if (!out) {
            throw HostError("无法创建文件 " + path + "：" + std::strerror(errno));
        }
        return std::make_unique<StreamTextWriter>(path, std::move(out));
    }

    std::optional<std::string> findFirst(const std::string& pathOrPattern) override {
        const std::string hostPath = toHostPath(pathOrPattern);
        const std::string pattern = namePart(hostPath);
        std::string folder = folderPart(hostPath);
        if (pattern.empty()) {
            return std::nullopt;
        }
        folder = folder.empty() ? std::string(".") : resolveCase(folder);
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(fromU8(folder), ec)) {
            std::error_code typeError;
            if (!entry.is_regular_file(typeError)) {
                continue;
            }
            std::string name = u8(entry.path().filename());
            if (isHidden(name) || !matchesPattern(name, pattern)) {
                continue;
            }
            if (!hasWildcard(pattern) && name == pattern) {
                return name; // the exact spelling wins over other case variants
            }
            names.push_back(std::move(name));
        }
        if (names.empty()) {
            return std::nullopt;
        }
        return *std::min_element(names.begin(), names.end(), lessNoCase);
    }

    std::vector<std::string> listFiles(const std::string& folder,
                                       const std::string& pattern) override {
        return namesIn(folder,
                       [&pattern](const fs::directory_entry& entry, const std::string& name) {
                           std::error_code typeError;
                           return entry.is_regular_file(typeError) && matchesPattern(name, pattern);
                       });
    }

    std::vector<std::string> listFolders(const std::string& folder) override {
        return namesIn(folder, [](const fs::directory_entry& entry, const std::string&) {
            std::error_code typeError;
            return entry.is_directory(typeError);
        });
    }

    bool folderExists(const std::string& path) override {
        std::error_code ec;
        return fs::is_directory(fromU8(resolveCase(toHostPath(path))), ec);
    }

    FileStamp stampOf(const std::string& path) override {
        return stampAt(fromU8(resolveCase(toHostPath(path))));
    }

    std::map<std::string, FileStamp> stampsBelow(const std::string& folder) override {
        std::map<std::string, FileStamp> stamps;
        std::error_code ec;
        const auto options = fs::directory_options::skip_permission_denied;
        for (fs::recursive_directory_iterator
                 it(fromU8(resolveCase(toHostPath(folder))), options, ec),
             end;
             !ec && it != end; it.increment(ec)) {
            if (const FileStamp stamp = stampAt(it->path()); stamp.exists) {
                stamps.emplace(u8(it->path()), stamp);
            }
        }
        return stamps;
    }

    bool copyFile(const std::string& from, const std::string& to) override {
        const fs::path source = fromU8(resolveCase(toHostPath(from)));
        const fs::path target = fromU8(resolveCase(toHostPath(to)));
        std::error_code ec;
        if (!fs::is_regular_file(source, ec)) {
            return false;
        }
        if (fs::exists(target, ec)) {
            // A read-only destination is not replaced, whoever runs the program.
            const auto perms = fs::status(target, ec).permissions();
            if ((perms & (fs::perms::owner_write | fs::perms::group_write |
                          fs::perms::others_write)) == fs::perms::none) {
                return false;
            }
        }
        return fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec) && !ec;
    }

    bool deleteFile(const std::string& path) override {
        std::error_code ec;
        const fs::path target = fromU8(resolveCase(toHostPath(path)));
        if (!fs::is_regular_file(fs::symlink_status(target, ec)) &&
            !fs::is_symlink(fs::symlink_status(target, ec))) {
            return false;
        }
        return fs::remove(target, ec) && !ec;
    }

    std::string currentFolder() override {
        std::error_code ec;
        const auto path = fs::current_path(ec);
        if (!ec) {
            return u8(path);
        }
        // The system cannot name a current folder that has been deleted; the shell that
        // started us still knows which one it was, and the user is told by that name.
        const char* shellFolder = std::getenv("PWD");
        return shellFolder != nullptr && isAbsolutePath(shellFolder) ? shellFolder : std::string();
    }

    bool setCurrentFolder(const std::string& path) override {
        std::error_code ec;
        fs::current_path(fromU8(resolveCase(toHostPath(path))), ec);
        return !ec;
    }

    std::vector<std::string> drives() override;
};

std::vector<std::string> HostFileSystem::drives() {
    std::vector<std::string> roots;
#ifdef _WIN32
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string root = std::string(1, letter) + ":\\";
        std::error_code ec;
        if (fs::exists(fs::path(root), ec)) {
            roots.push_back(root);
        }
    }
#else
    // Mounted volumes a user keeps files on; kernel and container plumbing is left out.
    static const std::set<std::string> kPseudo = {
        "proc",        "sysfs",      "devtmpfs",   "devpts",   "tmpfs",
        "cgroup",      "cgroup2",    "securityfs", "pstore",   "debugfs",
        "tracefs",     "configfs",   "fusectl",    "mqueue",   "hugetlbfs",
        "binfmt_misc", "autofs",     "bpf",        "efivarfs", "overlay",
        "nsfs",        "rpc_pipefs", "ramfs",      "squashfs", "fuse.gvfsd-fuse",
        "fuse.portal", "selinuxfs"};
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    std::set<std::string> seen;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint, type;
        fields >> device >> mountPoint >> type;
        if (mountPoint.empty() || kPseudo.count(type) != 0) {
            continue;
        }
        // Octal escapes of blanks and tabs in mount points.
        std::string decoded;
        for (std::size_t i = 0; i < mountPoint.size(); ++i) {
            if (mountPoint[i] == '\\' && i + 3 < mountPoint.size() + 0 &&
                mountPoint.compare(i + 1, 3, "040") == 0) {
                decoded += ' ';
                i += 3;
            } else {
                decoded += mountPoint[i];
            }
        }
        if (decoded.rfind("/proc", 0) == 0 || decoded.rfind("/sys", 0) == 0 ||
            decoded.rfind("/dev", 0) == 0 || decoded.rfind("/run", 0) == 0 ||
            decoded.rfind("/boot/efi", 0) == 0) {
            continue;
        }
        std::error_code ec;
        if (!fs::is_directory(fromU8(decoded), ec)) {
            continue;
        }
        if (decoded.back() != '/') {
            decoded += '/';
        }
        if (seen.insert(decoded).second) {
            roots.push_back(decoded);
        }
    }
    if (seen.count("/") == 0) {
        roots.insert(roots.begin(), "/");
    }
    std::sort(roots.begin(), roots.end());
#endif
    return roots;
}

FileSystem* g_current = nullptr;

} // namespace

std::string folderReadError(const std::string& folder, std::error_code error) {
    const char* reason = "系统无法列出其中的文件";
    if (error == std::errc::no_such_file_or_directory) {
        reason = "文件夹不存在";
    } else if (error == std::errc::permission_denied ||
               error == std::errc::operation_not_permitted) {
        reason = "没有读取权限";
    } else if (error == std::errc::not_a_directory) {
        reason = "这不是一个文件夹";
    }
    return "无法读取文件夹 " + (folder.empty() ? std::string("（当前文件夹）") : folder) + "：" +
           reason + "（" + error.message() + "）";
}

bool matchesPattern(std::string_view name, std::string_view pattern) {
    return text::matchesPattern(name, pattern);
}

FileSystem& hostFileSystem() {
    static HostFileSystem instance;
    return instance;
}

FileSystem& fileSystem() {
    return g_current != nullptr ? *g_current : hostFileSystem();
}

template <> FileSystem*& Scoped<FileSystem>::slot() {
    return g_current;
}

} // namespace host
