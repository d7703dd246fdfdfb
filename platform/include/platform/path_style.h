// Path rules of the two host families. The path helpers work over either style, so the
// Windows rules are tested on every host; everything else uses the host's own style.
#pragma once

#include <string>
#include <string_view>

namespace host {

enum class PathStyle { Windows, Posix };

#ifdef _WIN32
inline constexpr PathStyle kHostPathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kHostPathStyle = PathStyle::Posix;
#endif

constexpr char separatorOf(PathStyle style) {
    return style == PathStyle::Windows ? '\\' : '/';
}

inline constexpr char kSeparator = separatorOf(kHostPathStyle);

// Absolute: a drive letter ("C:...") on Windows, a leading "/" elsewhere.
bool isAbsolutePath(std::string_view path, PathStyle style = kHostPathStyle);

// The host's spelling of a name that may come from a file written on Windows: on POSIX hosts
// every "\" becomes "/". The name as written stays untouched wherever it is shown or stored.
std::string toHostPath(std::string_view path);

// Folder and file parts at the last separator of the host style.
std::string folderPart(std::string_view path);
std::string namePart(std::string_view path);

} // namespace host
