#include "help_url.h"

#include "text/ascii.h"

#include <vector>

namespace hh {

namespace {

std::string folderOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : file.substr(0, slash);
}

std::string baseName(std::string_view name) {
    const std::size_t cut = name.find_last_of("/\\:");
    return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

Route refuse(std::string reason) {
    Route r;
    r.kind = Route::Kind::Refuse;
    r.reason = std::move(reason);
    return r;
}

} // namespace

std::string helpPath(const std::string& file, const std::string& page) {
    return file + "::" + page;
}

bool splitHelpPath(std::string_view path, std::string& file, std::string& page) {
    const std::size_t sep = path.find("::");
    if (sep == std::string_view::npos)
        return false;
    file = std::string(path.substr(0, sep));
    page = std::string(path.substr(sep + 2));
    return true;
}

std::string normalizePageName(std::string_view page) {
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&] {
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back(); // at the root a climb stays where it is
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (const char c : page) {
        if (c == '/' || c == '\\')
            flush();
        else
            part += c;
    }
    const bool folder =
        part.empty() && !page.empty() && (page.back() == '/' || page.back() == '\\');
    flush();
    std::string out;
    for (const std::string& p : parts)
        out += "/" + p;
    if (out.empty() || folder)
        out += "/";
    return out;
}

bool isExternalScheme(std::string_view scheme) {
    for (const char* s : {"http", "https", "mailto", "ftp", "news", "tel"})
        if (scheme == s)
            return true;
    return false;
}

Route routeRequest(std::string_view scheme, std::string_view path, const std::string& contextFile) {
    for (const char* harmless : {"data", "blob", "about", "qrc"})
        if (scheme == harmless) {
            Route r;
            r.kind = Route::Kind::Allow;
            return r;
        }
    if (scheme == "file")
        return refuse("不读取帮助文件以外的文件");
    if (scheme != kHelpScheme && scheme != "its" && scheme != "mk")
        return refuse("帮助文件不访问网络");

    std::string_view rest = path;
    if (scheme == "mk") {
        constexpr std::string_view kStore = "@MSITStore:";
        if (rest.size() < kStore.size() ||
            !text::equalsIgnoreCase(rest.substr(0, kStore.size()), kStore))
            return refuse("无法识别的地址");
        rest.remove_prefix(kStore.size());
    }
    std::string file, page;
    if (!splitHelpPath(rest, file, page)) {
        // A relative link that climbs above the help file's root comes out of the browser's
        // resolution as a name in the file's folder or above it, without the "::": bring it
        // back to the root of the file it came from.
        if (scheme != kHelpScheme || contextFile.empty() || rest.empty() || rest[0] != '/')
            return refuse("地址中缺少“::”，不指向帮助文件中的页面");
        std::string ancestor = folderOf(contextFile);
        while (ancestor != "/" &&
               !(rest.size() > ancestor.size() && rest.compare(0, ancestor.size(), ancestor) == 0 &&
                 rest[ancestor.size()] == '/'))
            ancestor = folderOf(ancestor);
        const std::size_t skip = ancestor == "/" ? 0 : ancestor.size();
        Route r;
        r.kind = Route::Kind::Redirect;
        r.path = helpPath(contextFile, normalizePageName(rest.substr(skip)));
        return r;
    }

    // "ms-its:other.chm::/page.htm" written in a page is a relative address to the browser,
    // which puts it inside the page's own file ("/abs/this.chm::/dir/other.chm::/page.htm"):
    // it names the other file, beside this one.
    if (const std::size_t inner = page.rfind("::"); inner != std::string::npos) {
        file = baseName(std::string_view(page).substr(0, inner));
        page = page.substr(inner + 2);
    }
    // The help file: an absolute name stands; any other (relative, or a Windows path whose
    // folder means nothing here) is looked for beside the file the request comes from.
    std::string target = file;
    if (target.empty()) {
        target = contextFile;
    } else if (target[0] != '/') {
        if (contextFile.empty())
            return refuse("无法确定帮助文件的位置");
        if (target.find('\\') != std::string::npos || target.find(':') != std::string::npos)
            target = baseName(target);
        const std::string folder = folderOf(contextFile);
        target = (folder == "/" ? "" : folder) + "/" + target;
    }
    if (target.find("/../") != std::string::npos || target.find("/./") != std::string::npos)
        return refuse("不读取其他文件夹中的帮助文件");
    if (!contextFile.empty() && target != contextFile && folderOf(target) != folderOf(contextFile))
        return refuse("不读取其他文件夹中的帮助文件");

    Route r;
    r.path = helpPath(target, normalizePageName(page));
    r.kind = scheme == kHelpScheme && r.path == path ? Route::Kind::Serve : Route::Kind::Redirect;
    return r;
}

} // namespace hh
