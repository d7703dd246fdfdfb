// The project as the system files see it: settings, windows, topics, contents and keywords,
// with texts in the project's code page and names as they are stored.
#include "compiler.h"
#include "hhp/code_page.h"
#include "text/ascii.h"
#include "text_util.h"

#include <algorithm>
#include <type_traits>

namespace hhp::detail {

using text::equalsIgnoreCase;

std::string Compiler::toCodePage(const std::string& text, const std::string& file, int line) {
    if (!isNonAsciiUtf8(text) || m_codePage == 65001)
        return text;
    Conversion c = fromUtf8(text, m_codePage);
    if (c.lossy || !c.ok)
        m_diagnostics.warn(file, line, Problem::TextLossy, {text, std::to_string(m_codePage)});
    return c.text;
}

std::string Compiler::internalNameOf(const std::string& name) {
    const auto relative = detail::splitRelative(localReference(name));
    if (relative.components.empty())
        return detail::slashes(name);
    const std::string key = text::toLowerAscii(join(relative.components));
    if (auto it = m_byName.find(key); it != m_byName.end()) {
        // Keep an anchor the name carried.
        std::string out = m_files[it->second].name;
        if (auto hash = name.find('#'); hash != std::string::npos)
            out += name.substr(hash);
        return out;
    }
    return detail::slashes(name);
}

std::vector<chm::ContentsEntry> Compiler::contentsTree(const std::vector<SitemapItem>& entries) {
    std::vector<chm::ContentsEntry> out;
    for (const auto& entry : entries) {
        chm::ContentsEntry item;
        item.name = entry.name;
        if (!entry.local.empty())
            item.local = internalNameOf(entry.local);
        item.children = contentsTree(entry.children);
        out.push_back(std::move(item));
    }
    return out;
}

std::vector<chm::IndexKeyword> Compiler::keywordTree(const std::vector<SitemapItem>& entries) {
    std::vector<chm::IndexKeyword> out;
    for (const auto& entry : entries) {
        chm::IndexKeyword keyword;
        keyword.text = text::toUtf16(entry.name, m_codePage);
        for (const auto& target : entry.topics)
            keyword.targets.push_back({target.name, internalNameOf(target.local)});
        if (!entry.seeAlso.empty())
            keyword.seeAlso = text::toUtf16(entry.seeAlso, m_codePage);
        keyword.children = keywordTree(entry.children);
        out.push_back(std::move(keyword));
    }
    return out;
}

chm::HelpFileInfo Compiler::describe(const CompileOptions& options) {
    chm::HelpFileInfo info;
    info.lcid = m_project.lcid;
    info.codePage = m_codePage;
    info.compatibility10 = m_project.compatibility10;
    info.compileTime = options.timestamp.value_or(0);
    info.defaultWindow = m_project.defaultWindow;
    info.defaultFont = m_project.defaultFont;
    info.contentsFile = m_contentsName;
    info.indexFile = m_indexName;

    // An undefined default window is reported by the system-file builder, which writes it.
    const WindowDefinition* window =
        m_project.defaultWindow.empty() ? nullptr : m_project.findWindow(m_project.defaultWindow);
    // Projects that set their title and start page only in the default window's definition
    // still get both in the help file.
    std::string title = m_project.title;
    if (title.empty() && window)
        title = window->caption;
    info.title = toCodePage(title, m_projectName, 0);
    std::string topic = m_project.defaultTopic;
    if (topic.empty() && window)
        topic = !window->defaultFile.empty() ? window->defaultFile : window->homeFile;
    if (topic.empty() && !m_project.files.empty() && !m_files.empty())
        topic = m_files.front().name;
    info.defaultTopic = topic.empty() ? std::string() : internalNameOf(topic);

    for (const auto& w : m_project.windows) {
        chm::WindowDefinition out;
        out.name = w.name;
        out.caption = toCodePage(w.caption, m_projectName, w.line);
        out.contentsFile = w.contentsFile.empty() ? "" : internalNameOf(w.contentsFile);
        out.indexFile = w.indexFile.empty() ? "" : internalNameOf(w.indexFile);
        out.defaultFile = w.defaultFile.empty() ? "" : internalNameOf(w.defaultFile);
        out.homeFile = w.homeFile.empty() ? "" : internalNameOf(w.homeFile);
        out.jump1Url = w.jump1Url;
        out.jump1Text = toCodePage(w.jump1Text, m_projectName, w.line);
        out.jump2Url = w.jump2Url;
        out.jump2Text = toCodePage(w.jump2Text, m_projectName, w.line);
        // The valid-members bits of the viewer's window structure, one per numeric group.
        std::uint32_t valid = 0;
        auto take = [&valid](const auto& given, auto& field, std::uint32_t bit) {
            if (!given)
                return;
            field = static_cast<std::remove_reference_t<decltype(field)>>(*given);
            valid |= bit;
        };
        take(w.navigationStyle, out.navigationStyle, 0x2);
        take(w.styles, out.windowStyle, 0x4);
        take(w.extendedStyles, out.extendedStyle, 0x8);
        if (w.position) {
            out.left = (*w.position)[0];
            out.top = (*w.position)[1];
            out.right = (*w.position)[2];
            out.bottom = (*w.position)[3];
            valid |= 0x10;
        }
        take(w.navigationWidth, out.navPaneWidth, 0x20);
        take(w.showState, out.showState, 0x40);
        take(w.buttons, out.buttons, 0x100);
        take(w.navigationClosed, out.navPaneInitiallyClosed, 0x200);
        take(w.tabPosition, out.tabPosition, 0x400);
        take(w.defaultTab, out.defaultPane, 0x2000);
        if (w.notifyId)
            out.notificationId = static_cast<std::uint32_t>(*w.notifyId);
        out.validMembers = valid;
        info.windows.push_back(std::move(out));
    }

    for (const auto& file : m_files) {
        if (file.isSitemap)
            continue;
        if (!isHtmlName(file.name))
            continue;
        info.topics.push_back({file.name, toCodePage(pageTitle(file.text()), file.name, 0)});
    }
    for (const auto& file : m_files)
        if (file.isSitemap)
            info.topics.push_back({file.name, {}});

    info.contents = contentsTree(m_contents.items);
    chm::SitemapProperties& props = info.contentsProperties;
    props.imageList = m_contents.property("ImageList");
    props.imageTypeFolder = equalsIgnoreCase(m_contents.property("ImageType"), "Folder");
    auto number = [&](const char* key) -> std::optional<std::uint32_t> {
        const std::string value = m_contents.property(key);
        return value.empty() ? std::nullopt : detail::parseNumber(value);
    };
    props.background = number("Background");
    props.foreground = number("Foreground");
    props.windowStyles = number("Window Styles");
    props.exWindowStyles = number("ExWindow Styles");
    props.font = m_contents.property("Font");
    props.frameName = m_contents.property("FrameName");
    props.windowName = m_contents.property("WindowName");

    if (m_project.binaryIndex && m_indexIndex) {
        info.keywords = keywordTree(m_index.items);
        info.binaryIndex = !info.keywords.empty();
    }

    // Context help: [MAP] gives each name its number, [ALIAS] its page.
    for (const auto& alias : m_project.aliases) {
        auto it = std::find_if(m_project.map.begin(), m_project.map.end(),
                               [&](const MapEntry& m) { return m.id == alias.id; });
        if (it == m_project.map.end()) {
            m_diagnostics.warn(alias.sourceFile, alias.line, Problem::AliasWithoutMap, {alias.id});
            continue;
        }
        auto index = addFile(alias.file, {}, alias.sourceFile, alias.line, false, false);
        info.contextIds.push_back(
            {it->number, index ? m_files[*index].name : detail::slashes(alias.file)});
    }
    for (const auto& merge : m_project.mergeFiles)
        info.mergeFiles.push_back(merge.name);
    return info;
}

} // namespace hhp::detail
