// Addresses of pages inside help files, and the one rule that decides where a page may load
// from. The viewer serves every page under one form, "ms-its:/abs/path/FILE.chm::/dir/page.htm";
// the other forms help files use ("mk:@MSITStore:", "its:", a file name relative to the page's
// own help file, "\" separators) are redirected onto it, and nothing outside the help file
// (or another help file in its folder) is ever read.
#pragma once

#include <string>
#include <string_view>

namespace hh {

inline constexpr const char* kHelpScheme = "ms-its";

// The address of a page after "ms-its:": file + "::" + page, `page` starting with "/".
std::string helpPath(const std::string& file, const std::string& page);

// Splits the part of an ms-its address after the scheme ("/abs/FILE.chm::/page.htm") into
// file and page; false when there is no "::".
bool splitHelpPath(std::string_view path, std::string& file, std::string& page);

// A page name as stored in the help file: "\" read as "/", a leading "/", and "." and ".."
// resolved without ever climbing above the file's root.
std::string normalizePageName(std::string_view page);

struct Route {
    enum class Kind {
        Serve,    // a canonical address: load it
        Redirect, // load "ms-its:" + `path` instead
        Allow,    // data:, blob:, about: and the like, which read nothing from anywhere
        Refuse,   // never load it; `reason` says why
    };
    Kind kind = Kind::Refuse;
    std::string path;
    std::string reason; // Chinese, for the status bar
};

// Decides a request. `scheme` is lower-case, `path` the address after "scheme:" with its
// percent-escapes decoded. `contextFile` is the absolute name of the help file the request
// comes from: the page's own, or the open file for a request no page made. Another help file
// is served only from the same folder.
Route routeRequest(std::string_view scheme, std::string_view path, const std::string& contextFile);

// True for schemes the viewer hands to the desktop when the user clicks such a link.
bool isExternalScheme(std::string_view scheme);

} // namespace hh
