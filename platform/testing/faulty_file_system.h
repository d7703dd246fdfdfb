// A file system for tests that delegates to the host's and fails the operations a test names,
// by a substring of the path (tests run as root, so permissions cannot make these fail). With
// a journal it notes every file it writes, copies or deletes and every change of folder.
#pragma once

#include "platform/file_system.h"
#include "platform/host_error.h"

#include <string>
#include <system_error>
#include <vector>

namespace host::testing {

class FaultyFileSystem : public FileSystem {
public:
    std::vector<std::string> failCreate, failCopy, failList, failChdir;
    // Offered after the host's own drives.
    std::vector<std::string> extraDrives;
    std::vector<std::string>* journal = nullptr;

    TextReader openTextFile(const std::string& path) override {
        return hostFileSystem().openTextFile(path);
    }
    std::unique_ptr<TextWriter> createTextFile(const std::string& path) override {
        note("create " + path);
        if (hit(failCreate, path)) {
            throw HostError("无法创建文件 " + path + "：模拟的故障");
        }
        return hostFileSystem().createTextFile(path);
    }
    std::optional<std::string> findFirst(const std::string& p) override {
        return hostFileSystem().findFirst(p);
    }
    std::vector<std::string> listFiles(const std::string& folder,
                                       const std::string& pattern) override {
        if (hit(failList, folder)) {
            throw HostError(folderReadError(folder, denied()));
        }
        return hostFileSystem().listFiles(folder, pattern);
    }
    std::vector<std::string> listFolders(const std::string& folder) override {
        if (hit(failList, folder)) {
            throw HostError(folderReadError(folder, denied()));
        }
        return hostFileSystem().listFolders(folder);
    }
    bool folderExists(const std::string& path) override {
        return hostFileSystem().folderExists(path);
    }
    FileStamp stampOf(const std::string& path) override { return hostFileSystem().stampOf(path); }
    std::map<std::string, FileStamp> stampsBelow(const std::string& folder) override {
        return hostFileSystem().stampsBelow(folder);
    }
    bool copyFile(const std::string& from, const std::string& to) override {
        note("copy " + from + " -> " + to);
        return !hit(failCopy, to) && hostFileSystem().copyFile(from, to);
    }
    bool deleteFile(const std::string& path) override {
        note("delete " + path);
        return hostFileSystem().deleteFile(path);
    }
    std::string currentFolder() override { return hostFileSystem().currentFolder(); }
    bool setCurrentFolder(const std::string& path) override {
        note("cd " + path);
        return !hit(failChdir, path) && hostFileSystem().setCurrentFolder(path);
    }
    std::vector<std::string> drives() override {
        auto all = hostFileSystem().drives();
        all.insert(all.end(), extraDrives.begin(), extraDrives.end());
        return all;
    }

private:
    void note(const std::string& what) {
        if (journal != nullptr) {
            journal->push_back(what);
        }
    }
    // What a folder the user may not read (mode 711) gives, whoever runs the tests.
    static std::error_code denied() { return std::make_error_code(std::errc::permission_denied); }

    static bool hit(const std::vector<std::string>& needles, const std::string& path) {
        for (const auto& n : needles) {
            if (path.find(n) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
};

} // namespace host::testing
