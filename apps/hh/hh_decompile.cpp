// hh.exe -decompile: runs the decompiler and tells the user, in Chinese, what it did. The main
// program shows this output when a decompile fails, so every line names the file and the reason.
// The decompiler hands back what went wrong as data; the reader words its reading errors
// (readErrorText) and every other sentence is worded here.
#include "hh_decompile.h"

#include <cerrno>
#include <chrono>
#include <ostream>

namespace hh {

namespace {

std::string systemErrorWords(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "没有权限";
    case ENOSPC:
        return "磁盘已满";
    case EROFS:
        return "文件系统是只读的";
    case ENAMETOOLONG:
        return "名称过长";
    case EDQUOT:
        return "超出磁盘配额";
    default:
        return "系统错误 " + std::to_string(error);
    }
}

} // namespace

std::string decompileWarningText(const chm::DecompileWarning& w) {
    using Kind = chm::DecompileWarning::Kind;
    const std::string name = "\"" + w.name + "\"";
    switch (w.kind) {
    case Kind::OutputFolderUnusable:
        return "无法创建输出文件夹 " + w.path;
    case Kind::SettingsUnreadable:
        return w.name + "：" + chm::readErrorText(w.error);
    case Kind::NameHasNul:
        return "已跳过不安全的文件名 \"" + w.name + "\\x00...\"：名称中含有 NUL 字符";
    case Kind::UnsafeName:
        return "已跳过不安全的文件名 " + name + "：" + w.detail;
    case Kind::CaseCollision:
        return "已跳过 " + name + "：另一个文件与它同名，只是大小写不同";
    case Kind::TooLarge:
        return "已跳过 " + name + "：" + chm::readErrorText(chm::ReadError::TooLarge);
    case Kind::FolderBlocked:
        return "已跳过 " + name + "：" + w.path + " 已存在且不是文件夹";
    case Kind::CannotCreateFolder:
        return "已跳过 " + name + "：无法创建文件夹 " + w.path + "：" +
               systemErrorWords(w.systemError);
    case Kind::CannotCreate:
        return "已跳过 " + name + "：无法创建 " + w.path;
    case Kind::WriteFailed:
        return "未能提取 " + name + "：无法写入 " + w.path;
    case Kind::ReadFailed:
        return "未能提取 " + name + "：" + chm::readErrorText(w.error);
    case Kind::NoSystemFile:
        return "没有 #SYSTEM：工程文件使用默认选项";
    case Kind::ContextIdsDamaged:
        return "#IVB 已损坏，部分上下文帮助编号无法恢复";
    case Kind::ContextIdSkipped:
        return "上下文帮助编号指向的主题名 \"" + w.detail + "\" 无法写入工程文件，已略去";
    case Kind::ProjectUnwritable:
        return "无法写入工程文件 " + w.path;
    case Kind::ReaderNote:
        return w.detail;
    }
    return w.detail;
}

int runDecompile(const std::string& folder, const std::string& file, std::ostream& out,
                 std::ostream& err, const chm::DecompileLimits& limits) {
    auto start = std::chrono::steady_clock::now();
    chm::DecompileResult r = chm::decompileFile(file, folder, limits);
    if (r.error == chm::ReadError::Aborted) {
        err << "hh.exe: 无法反编译 " << file << "：无法创建输出文件夹 " << folder << '\n';
        return 1;
    }
    for (const chm::DecompileWarning& w : r.warnings)
        err << "hh.exe: 警告：" << decompileWarningText(w) << '\n';
    if (r.error != chm::ReadError::Ok) {
        err << "hh.exe: 无法读取帮助文件 " << file << "：" << chm::readErrorText(r.error) << '\n';
        return 1;
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    out << "hh.exe: " << (r.filesFailed ? "反编译未全部完成：" : "反编译完成：") << file << " 中的 "
        << r.filesWritten << " 个文件（" << r.bytesWritten << " 字节）写入 " << folder;
    if (r.filesRefused)
        out << "，已跳过 " << r.filesRefused << " 个文件名不安全的文件";
    if (r.filesFailed)
        out << "，" << r.filesFailed << " 个文件无法提取或写入";
    if (r.projectFile.empty())
        out << "，未写出工程文件";
    else
        out << "，工程文件 " << r.projectFile;
    if (r.contextIds)
        out << "（含 " << r.contextIds << " 个上下文帮助编号）";
    out << "，用时 " << ms << " 毫秒\n";
    return r.filesFailed ? 2 : 0;
}

} // namespace hh
