#include "platform/path_style.h"

namespace host {

bool isAbsolutePath(std::string_view path, PathStyle style) {
    if (style == PathStyle::Windows) {
        return path.size() >= 2 && path[1] == ':';
    }
    return !path.empty() && path.front() == '/';
}

std::string toHostPath(std::string_view path) {
    std::string result(path);
    if constexpr (kHostPathStyle == PathStyle::Posix) {
        for (char& c : result) {
            if (c == '\\') {
                c = '/';
            }
        }
    }
    return result;
}

std::string folderPart(std::string_view path) {
    const auto cut = path.find_last_of(kSeparator);
    return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

std::string namePart(std::string_view path) {
    const auto cut = path.find_last_of(kSeparator);
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

} // namespace host
