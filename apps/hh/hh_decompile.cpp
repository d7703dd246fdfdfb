// hh.exe -decompile: runs the decompiler and tells the user, in Chinese, what it did. The main
// program shows this output when a decompile fails, so every line names the file and the reason.
#include "hh_decompile.h"

#include <chrono>
#include <ostream>

namespace hh {

int runDecompile(const std::string& folder, const std::string& file, std::ostream& out,
                 std::ostream& err, const chm::DecompileLimits& limits) {
    auto start = std::chrono::steady_clock::now();
    chm::DecompileResult r = chm::decompileFile(file, folder, limits);
    for (const std::string& w : r.warnings)
        err << "hh.exe: 警告：" << w << '\n';
    if (r.error == chm::ReadError::Aborted) {
        err << "hh.exe: 无法反编译 " << file << "：无法创建输出文件夹 " << folder << '\n';
        return 1;
    }
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
    out << "，用时 " << ms << " 毫秒\n";
    return r.filesFailed ? 2 : 0;
}

} // namespace hh
