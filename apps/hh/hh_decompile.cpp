#include "hh_decompile.h"

#include <chrono>
#include <ostream>

namespace hh {

int runDecompile(const std::string& folder, const std::string& file, std::ostream& out,
                 std::ostream& err, const chm::DecompileLimits& limits) {
    auto start = std::chrono::steady_clock::now();
    chm::DecompileResult r = chm::decompileFile(file, folder, limits);
    for (const std::string& w : r.warnings)
        err << "hh.exe: warning: " << w << '\n';
    if (r.error != chm::ReadError::Ok) {
        err << "hh.exe: cannot decompile " << file << ": " << chm::readErrorText(r.error) << '\n';
        return 1;
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    out << "hh.exe: " << file << " -> " << folder << ": " << r.filesWritten << " files, "
        << r.bytesWritten << " bytes";
    if (r.filesRefused)
        out << ", " << r.filesRefused << " skipped as unsafe";
    if (r.filesFailed)
        out << ", " << r.filesFailed << " failed";
    out << ", project " << (r.projectFile.empty() ? std::string("not written") : r.projectFile)
        << ", " << ms << " ms\n";
    return r.filesFailed ? 2 : 0;
}

} // namespace hh
