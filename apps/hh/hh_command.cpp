#include "hh_command.h"

#include "text/ascii.h"

namespace hh {

namespace {

std::string trim(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t'))
        ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '\n'))
        --b;
    std::string out = s.substr(a, b - a);
    if (out.size() >= 2 && out.front() == '"' && out.back() == '"')
        out = out.substr(1, out.size() - 2);
    return out;
}

} // namespace

void splitHelpUrl(const std::string& text, std::string& file, std::string& page) {
    std::string rest = text;
    for (const char* prefix : {"ms-its:", "mk:@msitstore:", "its:"})
        if (text::startsWithIgnoreCase(rest, prefix)) {
            rest = rest.substr(std::string(prefix).size());
            break;
        }
    std::size_t sep = rest.find("::");
    if (sep == std::string::npos) {
        file = rest;
        page.clear();
        return;
    }
    file = rest.substr(0, sep);
    page = rest.substr(sep + 2);
    while (!page.empty() && (page[0] == '/' || page[0] == '\\'))
        page.erase(0, 1);
}

Command parseCommandLine(const std::string& line,
                         const std::function<bool(const std::string&)>& exists) {
    Command cmd;
    std::string text = trim(line);
    if (text.empty()) {
        cmd.kind = Command::Kind::View; // as from the desktop's menu: a viewer with nothing open
        return cmd;
    }
    if (text == "-h" || text == "--help" || text == "-?" || text == "/?") {
        cmd.kind = Command::Kind::Help;
        return cmd;
    }
    if (text::startsWithIgnoreCase(text, "-decompile") &&
        (text.size() == 10 || text[10] == ' ' || text[10] == '\t')) {
        std::string rest = trim(text.substr(10));
        // FOLDER and FILE are separated by one of the blanks; the first split whose right
        // side names an existing file wins, so both may hold blanks.
        for (std::size_t i = rest.find(' '); i != std::string::npos; i = rest.find(' ', i + 1)) {
            std::string folder = trim(rest.substr(0, i));
            std::string file = trim(rest.substr(i + 1));
            if (!folder.empty() && !file.empty() && exists(file)) {
                cmd.kind = Command::Kind::Decompile;
                cmd.folder = folder;
                cmd.file = file;
                return cmd;
            }
        }
        cmd.error = rest.find(' ') == std::string::npos
                        ? "用法：hh.exe -decompile 文件夹 帮助文件.chm"
                        : "找不到帮助文件";
        cmd.file = rest;
        return cmd;
    }
    cmd.kind = Command::Kind::View;
    splitHelpUrl(text, cmd.file, cmd.page);
    return cmd;
}

} // namespace hh
