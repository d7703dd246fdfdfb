// The file operations the program needs, behind one interface: the real one works on the
// host's file system; tests wrap it to make chosen operations fail (tests run as root, where
// permissions stop nothing).
#pragma once

#include "platform/scoped.h"
#include "platform/text_file.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace host {

// What is known of a file at one moment, to tell afterwards whether something wrote it: a
// rewrite in place changes its time or size, a replacement its identity (device and inode on
// POSIX hosts; both stay 0 where the host offers no such number).
struct FileStamp {
    bool exists = false;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified{};
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileStamp&) const = default;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Reads the whole file as text. Throws HostError naming the file when it cannot be opened.
    virtual TextReader openTextFile(const std::string& path) = 0;
    // Creates the file afresh (an existing one is replaced). Throws HostError when it cannot.
    virtual std::unique_ptr<TextWriter> createTextFile(const std::string& path) = 0;

    // Directory look-up for normal files: the path's last component may hold "*" and "?".
    // Matching is case-insensitive; hidden files and folders are skipped; an exact match is
    // preferred, otherwise the first match in case-insensitive name order. The result is the
    // bare name as stored on disk.
    virtual std::optional<std::string> findFirst(const std::string& pathOrPattern) = 0;
    // All normal files of a folder matching a pattern, in case-insensitive name order.
    // Throws HostError when the folder cannot be listed.
    virtual std::vector<std::string> listFiles(const std::string& folder,
                                               const std::string& pattern) = 0;
    // Sub-folders of a folder (not hidden), in case-insensitive name order.
    virtual std::vector<std::string> listFolders(const std::string& folder) = 0;
    virtual bool folderExists(const std::string& path) = 0;

    // The stamp of a regular file; anything else has exists false.
    virtual FileStamp stampOf(const std::string& path) = 0;
    // The stamps of every regular file below a folder, hidden ones and sub-folders included,
    // by full path; empty when the folder does not exist.
    virtual std::map<std::string, FileStamp> stampsBelow(const std::string& folder) = 0;

    // Copies replacing the destination; false when it cannot (a read-only destination too).
    virtual bool copyFile(const std::string& from, const std::string& to) = 0;
    virtual bool deleteFile(const std::string& path) = 0;

    // The current folder; when the system cannot tell (it was deleted), the one the shell
    // names in PWD, or empty.
    virtual std::string currentFolder() = 0;
    virtual bool setCurrentFolder(const std::string& path) = 0;

    // The roots of the mounted volumes the user can pick, pseudo file systems left out.
    virtual std::vector<std::string> drives() = 0;
};

// The file system in force: the host's, unless a test has put another in place.
FileSystem& fileSystem();

// Puts another file system in force for the lifetime of the object.
template <> FileSystem*& Scoped<FileSystem>::slot();
using ScopedFileSystem = Scoped<FileSystem>;

// The host's own file system, for wrappers that delegate to it.
FileSystem& hostFileSystem();

// The message for a folder that cannot be listed: the folder's name and the reason in Chinese,
// with the system's own words in brackets after it.
std::string folderReadError(const std::string& folder, std::error_code error);

// Case-insensitive wildcard match of a bare name against a pattern of "*" and "?". A pattern
// with a wildcard whose extension has three characters also matches longer extensions that
// begin with them, as short 8.3 names make it on Windows ("*.htm" lists "a.html"); a name
// without wildcards matches only itself, letter case aside.
bool matchesPattern(std::string_view name, std::string_view pattern);

} // namespace host
