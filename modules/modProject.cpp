// The help-project routines. Every text passes through as bytes: a title read from a page in
// GBK is written to the contents file in GBK.
#include "modProject.h"

#include "platform/file_system.h"
#include "platform/host_error.h"
#include "platform/message_box.h"

#include <string_view>

namespace modProject {

namespace {

// Lines the writers take from the text template. Each writer reads the template whole before
// it creates its output, so a missing or short template never empties a user's file.
constexpr std::size_t kProjectTemplateLines = 15;
constexpr std::size_t kContentsTemplateLines = 40;
constexpr std::size_t kIndexTemplateLines = 52;

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string lowerAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

std::string_view trimmedBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A project line "[NAME]" opens a section. Blanks around the line and the name, and the name's
// letter case, do not count: the compiler reads sections the same way.
std::optional<std::string> sectionName(std::string_view line) {
    line = trimmedBlanks(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
        return std::nullopt;
    }
    return lowerAscii(trimmedBlanks(line.substr(1, line.size() - 2)));
}

std::vector<std::string> readLines(host::TextReader reader) {
    std::vector<std::string> lines;
    while (!reader.atEndOfStream()) {
        lines.push_back(reader.readLine());
    }
    return lines;
}

// Template lines 1..needed; lines[n - 1] is line n.
std::vector<std::string> readTemplate(std::size_t needed) {
    const std::string path = AppFolder + kTextTemplate;
    std::vector<std::string> lines = readLines(host::fileSystem().openTextFile(path));
    if (lines.size() < needed) {
        throw host::HostError("模板文件 " + path + " 不完整：至少需要 " + std::to_string(needed) +
                              " 行，实际只有 " + std::to_string(lines.size()) + " 行。");
    }
    return lines;
}

std::string joined(const std::string& folder, const std::string& name) {
    std::string copy = name;
    return ResolvePath(folder, copy);
}

} // namespace

std::string defaultTitle() {
    return std::string("CHM 文件@CHMQuorlin@ ") + kContactAddress;
}

std::string ResolvePath(std::string folder, std::string& name, host::PathStyle style) {
    const char sep = host::separatorOf(style);
    if (style == host::PathStyle::Windows) {
        const bool drive = name.size() >= 2 ? name[1] == ':' : (!name.empty() && name[0] == ':');
        if (drive) {
            return name;
        }
    } else if (!name.empty() && name[0] == '/') {
        return name;
    }
    if (!folder.empty() && folder.back() == sep) {
        folder.pop_back();
    }
    if (startsWith(name, "..")) {
        // Project files come from Windows: on POSIX hosts a climb may be spelled either way.
        auto climbs = [&](const std::string& text) {
            return text.size() >= 3 && startsWith(text, "..") &&
                   (text[2] == sep || (style == host::PathStyle::Posix && text[2] == '\\'));
        };
        int levels = 0;
        while (climbs(name)) {
            ++levels;
            name.erase(0, 3);
        }
        for (int i = 0; i < levels; ++i) {
            const auto cut = folder.rfind(sep);
            if (cut == std::string::npos) {
                break; // at the root: climbing further stays there
            }
            folder.erase(cut);
        }
    }
    return folder + sep + name;
}

std::string ParentFolder(const std::string& path, host::PathStyle style) {
    const char sep = host::separatorOf(style);
    const std::size_t n = path.size();
    std::size_t i = 1;
    while (i < n && path[n - i] != sep) {
        ++i;
    }
    if (n == 0) {
        return std::string(1, sep);
    }
    return path.substr(0, n - i) + sep;
}

std::string PageTitle(const std::string& path) {
    auto& files = host::fileSystem();
    const auto found = files.findFirst(path);
    if (!found) {
        host::notify(path + "  文件不存在！！！");
        return {};
    }
    const std::string fileName = *found;

    host::TextReader page = files.openTextFile(path);
    std::string line;
    bool haveTitleLine = false;
    while (!haveTitleLine && !page.atEndOfStream()) {
        line = page.readLine();
        haveTitleLine = lowerAscii(line).find("<title>") != std::string::npos;
    }
    if (!haveTitleLine) {
        return fileName;
    }

    // Positions are 1-based, as the title rule is stated: P at "<title>", E at the last
    // "</title>" (0 when there is none).
    std::string lower = lowerAscii(line);
    long long p = static_cast<long long>(lower.find("<title>")) + 1;
    auto closing = lower.rfind("</title>");
    long long e = closing == std::string::npos ? 0 : static_cast<long long>(closing) + 1;
    if (p + 6 == static_cast<long long>(line.size()) && e == 0) {
        // "<title>" ends its line: the title is on the next one.
        if (page.atEndOfStream()) {
            return fileName;
        }
        line = page.readLine();
        lower = lowerAscii(line);
        p = -6;
        closing = lower.rfind("</title>");
        e = closing == std::string::npos ? 0 : static_cast<long long>(closing) + 1;
    }
    if (line.empty()) {
        return fileName;
    }
    const auto start = static_cast<std::size_t>(p + 6);
    std::string title;
    if (e == 0) {
        title = line.substr(start);
    } else {
        const long long count = e - p - 7;
        if (count < 0) {
            return fileName; // the last "</title>" stands before the first "<title>"
        }
        title = line.substr(start, static_cast<std::size_t>(count));
    }
    if (title.empty()) {
        return files.findFirst(path).value_or(fileName);
    }
    return title;
}

bool WriteProject(std::string& folder, const std::vector<std::string>& pages, std::string& title,
                  const std::string& startPage) {
    if (folder.empty() || folder.back() != host::kSeparator) {
        folder += host::kSeparator;
    }
    auto& files = host::fileSystem();
    if (!files.copyFile(AppFolder + kAboutTemplate, folder + kAboutPage)) {
        host::notify("工程文件创建失败！！！");
        return false;
    }
    const std::vector<std::string> lines = readTemplate(kProjectTemplateLines);
    auto project = files.createTextFile(folder + kProjectFileName);
    for (std::size_t n = 2; n <= 12; ++n) {
        project->writeLine(lines[n - 1]);
    }
    if (title.empty()) {
        title = defaultTitle();
    }
    project->writeLine(lines[12] + title + lines[13] + startPage + lines[14]);
    project->writeLine("[FILES]");
    if (!files.findFirst(folder + kAboutPage)) {
        project->writeLine(kAboutPage);
    }
    for (const auto& page : pages) {
        project->writeLine(page);
    }
    project->writeLine("");
    project->writeLine("[INFOTYPES]");
    project->close();
    return true;
}

void WriteContents(std::string& name, const std::vector<std::string>& pages,
                   const std::string& folder) {
    const std::vector<std::string> lines = readTemplate(kContentsTemplateLines);
    auto& files = host::fileSystem();
    auto out = files.createTextFile(ResolvePath(folder, name));
    for (std::size_t n = 19; n <= 32; ++n) {
        out->writeLine(lines[n - 1]);
    }
    const std::string& f1 = lines[32];
    const std::string& f2 = lines[33];
    const std::string& f3 = lines[34];
    auto entry = [&](const std::string& caption, const std::string& page) {
        out->writeLine(f1);
        out->writeLine(f2 + caption + "\">");
        out->writeLine(f3 + page + "\">");
        out->writeLine("            </OBJECT>");
    };

    std::string start = files.findFirst(joined(folder, "index.htm*")).value_or(std::string());
    if (!start.empty()) {
        const std::string caption = PageTitle(joined(folder, start));
        if (!caption.empty()) {
            entry(caption, start);
        }
    }
    for (const auto& page : pages) {
        // An empty item names no page: it would only reach the folder itself.
        if (page.empty() || page == start || page == kAboutPage) {
            continue;
        }
        const std::string caption = PageTitle(joined(folder, page));
        if (!caption.empty()) {
            entry(caption, page);
        }
    }
    out->writeLine("          </UL>");
    for (std::size_t n = 36; n <= 40; ++n) {
        out->writeLine(lines[n - 1]);
    }
    out->writeLine("</UL>");
    out->writeLine("</BODY></HTML>");
    out->close();
}

void WriteIndex(std::string& name, const std::vector<std::string>& pages,
                const std::string& folder) {
    const std::vector<std::string> lines = readTemplate(kIndexTemplateLines);
    auto out = host::fileSystem().createTextFile(ResolvePath(folder, name));
    for (std::size_t n = 44; n <= 49; ++n) {
        out->writeLine(lines[n - 1]);
    }
    for (const auto& page : pages) {
        if (page.empty()) {
            continue;
        }
        out->writeLine(lines[49]);
        out->writeLine(lines[50] + PageTitle(joined(folder, page)) + "\">");
        out->writeLine(lines[51] + page + "\">");
        out->writeLine("     </OBJECT>");
    }
    out->writeLine("</UL>");
    out->writeLine("</BODY></HTML>");
    out->close();
}

bool ReadProjectFiles(const std::string& path, std::vector<std::string>& list) {
    std::vector<std::string> lines;
    try {
        lines = readLines(host::fileSystem().openTextFile(path));
    } catch (const host::HostError&) {
        return false;
    }
    std::size_t i = 0;
    while (i < lines.size() && lines[i] != "[FILES]") {
        ++i;
    }
    if (i + 1 >= lines.size()) {
        return false; // no "[FILES]" line, or nothing after it
    }
    bool result = true;
    for (++i; i < lines.size() && !lines[i].empty(); ++i) {
        if (startsWith(lines[i], "..")) {
            result = false;
        }
        list.push_back(lines[i]);
    }
    return result;
}

void ReadProjectOptions(const std::string& path, ProjectInfo& info) {
    const std::vector<std::string> lines = readLines(host::fileSystem().openTextFile(path));
    if (lines.empty()) {
        throw host::HostError("工程文件 " + path + " 是空的。");
    }
    info.ContentsFile.clear();
    info.IndexFile.clear();
    info.CompiledFile.clear();
    // An option line is one that holds the whole key: a page named "Index.htm" is none. The
    // compiled file is read only where options stand, before the first section and in
    // [OPTIONS]: a page such as "CompiledHelp_FAQ.htm" in [FILES] names no compiled file.
    bool amongOptions = true;
    for (const auto& line : lines) {
        if (const auto section = sectionName(line)) {
            amongOptions = *section == "options";
        }
        const bool haveBoth = !info.ContentsFile.empty() && !info.IndexFile.empty();
        if (!haveBoth) {
            if (startsWith(line, "Contents") && line.size() >= 14) {
                info.ContentsFile = line.substr(14);
            }
            if (startsWith(line, "Index") && line.size() >= 11) {
                info.IndexFile = line.substr(11);
            }
        }
        if (amongOptions && startsWith(line, "Compiled") && line.size() >= 14) {
            info.CompiledFile = line.substr(14);
        }
    }
    if (info.CompiledFile.empty()) {
        // What a compiler writes for a project that names no compiled file.
        std::string name = host::namePart(path);
        const auto dot = name.rfind('.');
        if (dot != std::string::npos) {
            name.erase(dot);
        }
        info.CompiledFile = name + ".chm";
    }
}

} // namespace modProject
