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

    // What the host does, unless a test named the path to fail.
    using S = std::string;
    TextReader openTextFile(const S& p) override { return host().openTextFile(p); }
    std::unique_ptr<TextWriter> createTextFile(const S& p) override {
        note("create " + p);
        if (hit(failCreate, p)) {
            throw HostError("无法创建文件 " + p + "：模拟的故障");
        }
        return host().createTextFile(p);
    }
    std::optional<S> findFirst(const S& p) override { return host().findFirst(p); }
    std::vector<S> listFiles(const S& folder, const S& pattern) override {
        failIfListed(folder);
        return host().listFiles(folder, pattern);
    }
    std::vector<S> listFolders(const S& folder) override {
        failIfListed(folder);
        return host().listFolders(folder);
    }
    bool folderExists(const S& p) override { return host().folderExists(p); }
    FileStamp stampOf(const S& p) override { return host().stampOf(p); }
    std::map<S, FileStamp> stampsBelow(const S& p) override { return host().stampsBelow(p); }
    bool copyFile(const S& from, const S& to) override {
        note("copy " + from + " -> " + to);
        return !hit(failCopy, to) && host().copyFile(from, to);
    }
    bool deleteFile(const S& p) override {
        note("delete " + p);
        return host().deleteFile(p);
    }
    S currentFolder() override { return host().currentFolder(); }
    bool setCurrentFolder(const S& p) override {
        note("cd " + p);
        return !hit(failChdir, p) && host().setCurrentFolder(p);
    }
    std::vector<S> drives() override {
        auto all = host().drives();
        all.insert(all.end(), extraDrives.begin(), extraDrives.end());
        return all;
    }

private:
    void note(const std::string& what) {
        if (journal != nullptr) {
            journal->push_back(what);
        }
    }
    static FileSystem& host() { return hostFileSystem(); }
    // What a folder the user may not read (mode 711) gives, whoever runs the tests.
    void failIfListed(const std::string& folder) const {
        if (hit(failList, folder)) {
            throw HostError(
                folderReadError(folder, std::make_error_code(std::errc::permission_denied)));
        }
    }

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
