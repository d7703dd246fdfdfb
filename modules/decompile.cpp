// The decompile run behind the decompile dialog.
#include "decompile.h"

#include "modProject.h"
#include "platform/file_system.h"
#include "platform/host_error.h"
#include "platform/path_style.h"
#include "platform/services.h"

#include <chrono>
#include <map>

namespace modProject {

namespace {

// True when a file of after is new, has changed since before, or was modified at or after
// startedAt taken to the second below, as many file systems keep times no finer than that.
bool writtenSince(const std::map<std::string, host::FileStamp>& before,
                  const std::map<std::string, host::FileStamp>& after,
                  std::filesystem::file_time_type startedAt) {
    const auto since = std::chrono::floor<std::chrono::seconds>(startedAt);
    for (const auto& [name, stamp] : after) {
        const auto old = before.find(name);
        if (old == before.end() || old->second != stamp || stamp.modified >= since) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string DecompileHelpFile(const std::string& helpFile, const std::string& outputFolder) {
    host::FileSystem& files = host::fileSystem();
    if (!files.folderExists(outputFolder)) {
        throw host::HostError("输出文件夹不存在：" + outputFolder);
    }
    if (!files.setCurrentFolder(outputFolder)) {
        throw host::HostError("无法进入输出文件夹：" + outputFolder);
    }
    // A relative help file is looked up in the output folder, which is current now.
    const std::optional<std::string> name = files.findFirst(helpFile);
    if (!name) {
        throw host::HostError("找不到CHM文件：" + helpFile);
    }
    // The sources go to a folder named after the file less its ".chm"; a name with nothing
    // before that would send them into the output folder itself.
    if (name->size() <= 4) {
        throw host::HostError("CHM文件名太短，无法得出反编译的文件夹名：" + *name);
    }
    std::string baseName = name->substr(0, name->size() - 4);

    // A relative output folder is now the current folder; the tool and the check below need
    // it spelled out, or they would look for it inside itself.
    const std::string folder =
        host::isAbsolutePath(outputFolder) ? outputFolder : files.currentFolder();
    const std::string target = ResolvePath(folder, baseName);

    const auto before = files.stampsBelow(target);
    const auto startedAt = std::filesystem::file_time_type::clock::now();
    const host::ToolOutcome outcome = host::toolRunner().runAndWait(
        {AppFolder + "hh.exe", "-decompile " + baseName + " " + helpFile, folder,
         host::WindowKind::MinimizedFocus});
    if (!files.folderExists(target) ||
        !writtenSince(before, files.stampsBelow(target), startedAt)) {
        std::string message = "反编译失败：" + target + " 中没有写出任何文件。";
        if (!outcome.output.empty()) {
            message += "\n\n" + outcome.output;
        } else if (outcome.exitCode != 0) {
            message += "\n\n退出代码 " + std::to_string(outcome.exitCode) + "。";
        }
        throw host::HostError(message);
    }
    return target;
}

} // namespace modProject
