// The temporary file, its flush and the rename use POSIX calls (mkstemp, fchmod, fsync); a
// Windows port replaces them with a unique CreateFile, FlushFileBuffers and MoveFileEx.
#include "atomic_write.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace hhp::detail {

namespace fs = std::filesystem;

std::optional<Problem> writeAtomically(const fs::path& target,
                                       const std::vector<std::uint8_t>& bytes) {
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return Problem::OutputNotCreated;
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    fchmod(fd, 0644);
    const bool complete = written == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    std::error_code ec;
    if (!complete) {
        fs::remove(temporary, ec);
        return Problem::OutputNotWritten;
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return Problem::OutputNotReplaced;
    }
    return std::nullopt;
}

} // namespace hhp::detail
