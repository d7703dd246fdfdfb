// hh.exe: "hh.exe FILE.chm" (or "ms-its:FILE.chm::/page.htm") opens the viewer;
// "hh.exe -decompile FOLDER FILE.chm" takes the file apart without any window.
#include "hh_command.h"
#include "hh_decompile.h"
#include "platform/display.h"
#include "viewer_entry.h"

#include <filesystem>
#include <iostream>
#include <string>

#if defined(QUORLIN_HH_VIEWER_MODULE)
#include <dlfcn.h>
#endif

namespace {

bool isFile(const std::string& name) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(name), ec);
}

int view(int argc, char** argv, const hh::Command& cmd) {
    // Without a desktop the toolkit would abort; say so in a sentence instead.
    if (!host::hasGraphicalDisplay()) {
        std::cerr << host::noDisplayMessage("hh.exe") << '\n';
        return 1;
    }
    const char* usage = cmd.kind == hh::Command::Kind::View ? nullptr : cmd.error.c_str();
#if defined(QUORLIN_HH_VIEWER_MODULE)
    // The viewer module lies beside the executable, as every file of the program folder does.
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::filesystem::path module =
        (ec ? std::filesystem::path(argv[0]).parent_path() : self.parent_path()) /
        QUORLIN_HH_VIEWER_MODULE;
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::cerr << "hh.exe: 无法载入查看器：" << dlerror() << '\n';
        return 1;
    }
    auto entry = reinterpret_cast<decltype(&quorlin_hh_view_main)>(dlsym(handle, kViewerEntryName));
    if (!entry) {
        std::cerr << "hh.exe: 查看器模块缺少入口点\n";
        return 1;
    }
    return entry(argc, argv, cmd.file.c_str(), cmd.page.c_str(), usage);
#elif defined(QUORLIN_HH_VIEWER_LINKED)
    return quorlin_hh_view_main(argc, argv, cmd.file.c_str(), cmd.page.c_str(), usage);
#else
    (void)argc;
    (void)argv;
    (void)usage;
    std::cerr << "hh.exe: 此版本不含查看器；请用 hh.exe -decompile 文件夹 帮助文件.chm\n";
    return 1;
#endif
}

} // namespace

int main(int argc, char** argv) {
    // Callers may pass the whole argument text as one argument or split at blanks; joining
    // with blanks reads the same either way.
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    hh::Command cmd = hh::parseCommandLine(line, isFile);
    if (cmd.kind == hh::Command::Kind::Help) {
        std::cout << "用法：\n"
                     "  hh.exe [帮助文件.chm]                     显示帮助文件\n"
                     "  hh.exe ms-its:帮助文件.chm::/页面.htm      显示帮助文件中的页面\n"
                     "  hh.exe -decompile 文件夹 帮助文件.chm      把帮助文件还原为源文件\n";
        return 0;
    }
    if (cmd.kind == hh::Command::Kind::Decompile)
        return hh::runDecompile(cmd.folder, cmd.file, std::cout, std::cerr);
    if (cmd.kind == hh::Command::Kind::Usage && line.rfind("-decompile", 0) == 0) {
        std::cerr << "hh.exe: " << cmd.error << (cmd.file.empty() ? "" : "：") << cmd.file << '\n';
        return 1;
    }
    return view(argc, argv, cmd);
}
