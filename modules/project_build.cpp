// The build pipeline: the project (HTML mode), its contents and index files, the compile, the
// viewer, and the clean-up of the intermediate files.
#include "project_build.h"

#include "modProject.h"
#include "platform/file_system.h"
#include "platform/host_error.h"
#include "platform/message_box.h"
#include "platform/services.h"

namespace modProject {

namespace {

// The compiler's output shown after a failed compile is cut to its last part: the end of a
// compiler's output is where it says what went wrong.
constexpr std::size_t kShownOutput = 4000;

// The full path a writer creates for name in folder. The writer strips the "..\" levels it
// resolves from the name it is given, so this is taken from a copy, before the writer runs.
std::string writtenPath(const std::string& folder, const std::string& name) {
    if (name.empty()) {
        return {};
    }
    std::string copy = name;
    return ResolvePath(folder, copy);
}

bool confirmed(const std::string& question, const BuildRequest& request) {
    return host::messageBoxes().show({question, host::MessageButtons::YesNo,
                                      host::MessageIcon::Question, request.questionTitle}) ==
           host::MessageAnswer::Yes;
}

void reportFailedCompile(const std::string& compiledPath, std::string output) {
    if (output.size() > kShownOutput) {
        output = "..." + output.substr(output.size() - kShownOutput);
    }
    host::notify("工程编译失败：编译程序没有生成 " + compiledPath + "。\n\n编译程序的输出：\n" +
                 (output.empty() ? std::string("（没有输出）") : output));
}

} // namespace

std::optional<std::vector<std::string>>
GenerateProject(std::string folder, const std::vector<std::string>& pages, std::string title) {
    std::string pattern = "index.htm*";
    std::string startPage = host::fileSystem().findFirst(ResolvePath(folder, pattern)).value_or("");
    if (startPage.empty() && !pages.empty()) {
        if (pages[0] != kAboutPage) {
            startPage = pages[0];
        } else if (pages.size() > 1) {
            startPage = pages[1];
        }
    }
    // The writer completes the folder with its separator.
    if (!WriteProject(folder, pages, title, startPage)) {
        return std::nullopt;
    }
    CurrentProject.ProjectFile = folder + kProjectFileName;
    std::vector<std::string> entries;
    ReadProjectFiles(CurrentProject.ProjectFile, entries);
    return entries;
}

bool BuildProject(const std::vector<std::string>& pages, const BuildRequest& request) {
    auto& files = host::fileSystem();
    const std::string projectFolder = ParentFolder(CurrentProject.ProjectFile);
    files.copyFile(AppFolder + kAboutTemplate, projectFolder + kAboutPage);
    ReadProjectOptions(CurrentProject.ProjectFile, CurrentProject);
    const std::string contentsPath = writtenPath(projectFolder, CurrentProject.ContentsFile);
    const std::string indexPath = writtenPath(projectFolder, CurrentProject.IndexFile);

    if (!request.askBeforeRewriting || confirmed("你是否真的想重新编写目录及索引?", request)) {
        request.showStatus("正在编写目录...");
        if (!CurrentProject.ContentsFile.empty()) {
            WriteContents(CurrentProject.ContentsFile, pages, projectFolder);
        }
        if (!CurrentProject.IndexFile.empty()) {
            WriteIndex(CurrentProject.IndexFile, pages, projectFolder);
        }
    }
    if (!request.compile) {
        return false;
    }

    request.showStatus("正在编译工程...");
    const bool deleteAfterwards = confirmed("编译完工程后是否删除相关文件？", request);
    if (!files.setCurrentFolder(projectFolder)) {
        throw host::HostError("无法进入工程文件夹 " + projectFolder);
    }
    const std::string projectName = CurrentProject.ProjectFile.substr(projectFolder.size());
    const std::string compiledPath = writtenPath(projectFolder, CurrentProject.CompiledFile);
    // A compile counts as done only when the compiled file exists afterwards and is not the
    // file that was there before: any compiler can stand in, whatever exit status it reports.
    // Nothing is deleted and no viewer is started on a missing or stale file: the sources are
    // what the user needs to find the fault.
    const host::FileStamp before = files.stampOf(compiledPath);
    const host::ToolOutcome outcome = host::toolRunner().runAndWait(
        {AppFolder + "hhc.exe", projectName, projectFolder, host::WindowKind::Hidden});
    const host::FileStamp after = files.stampOf(compiledPath);
    if (!after.exists || after == before) {
        reportFailedCompile(compiledPath, outcome.output);
        return false;
    }
    host::toolRunner().startDetached({AppFolder + "hh.exe", CurrentProject.CompiledFile,
                                      projectFolder, host::WindowKind::NormalFocus});
    if (!deleteAfterwards) {
        return false;
    }
    files.deleteFile(CurrentProject.ProjectFile);
    for (const std::string& written : {contentsPath, indexPath}) {
        if (!written.empty()) {
            files.deleteFile(written);
        }
    }
    files.deleteFile(projectFolder + kAboutPage);
    CurrentProject = ProjectInfo{};
    return true;
}

} // namespace modProject
