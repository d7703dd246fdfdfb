// The compile pipeline: gather every file the project reaches, convert the sitemaps to the
// project's code page, describe the help file for the system-file builder, and write the
// container in one piece.
#include "atomic_write.h"
#include "compiler.h"
#include "hhp/code_page.h"
#include "text_util.h"

#include <chm/container_writer.h>

namespace hhp {

namespace fs = std::filesystem;

namespace detail {

Compiler::SearchInput Compiler::searchInput() {
    // The pages are the first topics, numbered in the order describe() lists them.
    SearchInput input;
    std::uint32_t topic = 0;
    for (const auto& file : m_files) {
        if (file.isSitemap || !isHtmlName(file.name))
            continue;
        input.pages.push_back({topic++, file.text()});
    }
    if (!m_project.stopListFile.empty()) {
        auto found = m_lookup.find(detail::splitRelative(m_project.stopListFile));
        if (found)
            input.stopList = readFile(found->path, kMaxTextFile);
        if (!input.stopList)
            m_diagnostics.warn(m_projectName, 0, Problem::StopListUnreadable,
                               {m_project.stopListFile});
    }
    return input;
}

void Compiler::reportSystemWarnings(const std::vector<chm::SystemWarning>& warnings) {
    using Kind = chm::SystemWarning::Kind;
    for (const chm::SystemWarning& w : warnings) {
        switch (w.kind) {
        case Kind::TopicListedTwice:
            m_diagnostics.warn(m_projectName, 0, Problem::TopicListedTwice, {w.subject});
            break;
        case Kind::ContentsTargetMissing:
        case Kind::IndexTargetMissing: {
            // A page the sitemap names was already reported as not found when it was gathered.
            if (m_reportedMissing.count(missingKey(w.target)))
                break;
            const bool contents = w.kind == Kind::ContentsTargetMissing;
            const std::string& sitemap = contents ? m_contentsName : m_indexName;
            if (contents)
                m_diagnostics.warn(sitemap, 0, Problem::ContentsTargetMissing,
                                   {w.subject, w.target});
            else
                m_diagnostics.warn(sitemap, 0, Problem::IndexTargetMissing, {w.target});
            break;
        }
        case Kind::SettingCut:
            m_diagnostics.warn(m_projectName, 0, Problem::SettingCut,
                               {std::to_string(w.count), std::to_string(w.limit)});
            break;
        case Kind::AddressCut:
            m_diagnostics.warn(m_projectName, 0, Problem::AddressCut, {w.subject.substr(0, 60)});
            break;
        case Kind::TextCut:
            m_diagnostics.warn(m_projectName, 0, Problem::TextCut,
                               {w.subject.substr(0, 60), std::to_string(w.limit)});
            break;
        case Kind::TooManyMergeFiles:
            m_diagnostics.warn(m_projectName, 0, Problem::TooManyMergeFiles,
                               {std::to_string(w.limit)});
            break;
        case Kind::KeywordTopicsDropped:
            m_diagnostics.warn(m_indexName, 0, Problem::KeywordTopicsDropped,
                               {std::to_string(w.count)});
            break;
        case Kind::DefaultWindowUndefined:
            m_diagnostics.warn(m_projectName, 0, Problem::DefaultWindowUndefined, {w.subject});
            break;
        }
    }
}

CompileResult Compiler::run(const CompileOptions& options) {
    CompileResult result;
    m_projectName = m_projectPath.string();
    auto text = readFile(m_projectPath, kMaxTextFile);
    if (!text) {
        m_diagnostics.error(m_projectName, 0, Problem::ProjectUnreadable);
        return result;
    }
    IncludeReader includes = [this](const std::string& name) -> std::optional<std::string> {
        auto found = m_lookup.find(detail::splitRelative(name));
        return found ? readFile(found->path, kMaxTextFile) : std::nullopt;
    };
    m_project = parseProject(*text, m_projectName, includes, m_diagnostics);
    m_codePage = codePageForLcid(m_project.lcid);
    result.displayNotes = m_project.displayNotes;
    if (!m_project.errorLogFile.empty())
        result.errorLogFile = (m_lookup.root() / detail::slashes(m_project.errorLogFile)).string();

    std::string compiled = m_project.compiledFile;
    if (compiled.empty())
        compiled = m_projectPath.stem().string() + ".chm";
    const fs::path output = m_lookup.root() / detail::slashes(compiled);
    result.outputPath = output.lexically_normal().string();
    std::error_code ec;
    if (!fs::is_directory(output.parent_path().empty() ? fs::path(".") : output.parent_path(),
                          ec)) {
        m_diagnostics.error(m_projectName, 0, Problem::OutputFolderMissing, {compiled});
        return result;
    }
    // Found now rather than when the finished file cannot take its place.
    if (fs::is_directory(output, ec)) {
        m_diagnostics.error(m_projectName, 0, Problem::OutputIsFolder, {compiled});
        return result;
    }

    note(Step::ReadingFiles);
    for (const auto& entry : m_project.files)
        addFilesEntry(entry);

    const WindowDefinition* window =
        m_project.defaultWindow.empty() ? nullptr : m_project.findWindow(m_project.defaultWindow);
    m_contentsName = m_project.contentsFile;
    m_indexName = m_project.indexFile;
    if (window && m_contentsName.empty())
        m_contentsName = window->contentsFile;
    if (window && m_indexName.empty())
        m_indexName = window->indexFile;
    readSitemaps();
    if (!m_project.defaultTopic.empty())
        addFile(m_project.defaultTopic, {}, m_projectName, 0, false, false);
    for (const auto& w : m_project.windows)
        for (const auto* name : {&w.defaultFile, &w.homeFile})
            if (!name->empty())
                addFile(localReference(*name), {}, m_projectName, w.line, false, false);
    for (const auto& popup : m_project.textPopups)
        addFile(popup.name, {}, m_projectName, popup.line, false, true);

    note(Step::FollowingLinks);
    scanLinks();

    chm::HelpFileInfo info = describe(options);
    info.compiledFileBase = output.stem().string();
    SearchInput search;
    if (m_project.fullTextSearch) {
        note(Step::BuildingSearchIndex);
        search = searchInput();
        info.fullTextSearch = true;
    }
    std::vector<chm::SystemWarning> systemWarnings;
    note(Step::BuildingSystemFiles);
    chm::SystemFiles system = chm::buildSystemFiles(info, systemWarnings);
    reportSystemWarnings(systemWarnings);

    chm::ContainerOptions containerOptions;
    containerOptions.lcid = m_project.lcid;
    containerOptions.timestamp =
        options.timestamp ? static_cast<std::uint32_t>(*options.timestamp) : 0;
    containerOptions.threads = options.threads;
    chm::ContainerWriter writer(containerOptions);

    // Pages first, in the order they were gathered, then the sitemaps, then internal files.
    // A file that cannot be stored keeps its data, which the search index may still read.
    auto store = [&](const std::string& name, std::vector<std::uint8_t>& data,
                     chm::Section section) {
        const auto error = writer.takeFile("/" + name, data, section);
        if (error == chm::WriteError::None)
            return true;
        m_diagnostics.warn(m_projectName, 0, Problem::FileNotStorable, {name});
        return false;
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (auto& file : m_files) {
            if (file.isSitemap != (pass == 1))
                continue;
            result.bytesIn += file.data.size();
            if (store(file.name, file.data, chm::Section::Compressed))
                ++result.fileCount;
        }
    }
    for (auto& file : system.uncompressed)
        writer.addFile(file.name, std::move(file.data), chm::Section::Uncompressed);
    for (auto& file : system.compressed)
        writer.addFile(file.name, std::move(file.data), chm::Section::Compressed);
    // The search index is made while the pages are compressed, and stored after them.
    std::uint32_t skippedWords = 0;
    if (info.fullTextSearch)
        writer.addLateFile("/$FIftiMain", [&] {
            auto index = detail::buildSearchIndex(search.pages, search.stopList, m_codePage,
                                                  m_project.lcid, options.threads);
            skippedWords = index.skippedWords;
            return std::move(index.bytes);
        });
    result.topicCount = info.topics.size();

    note(Step::Compressing);
    std::vector<std::uint8_t> bytes;
    const chm::WriteError built = writer.build(bytes);
    if (skippedWords > 0)
        note(Step::WordsNotIndexed, {std::to_string(skippedWords), std::to_string(m_codePage)});
    if (built != chm::WriteError::None) {
        m_diagnostics.error(m_projectName, 0, Problem::HelpFileTooLarge);
        return result;
    }
    note(Step::Writing, {result.outputPath});
    if (const std::optional<Problem> failure = writeAtomically(result.outputPath, bytes)) {
        m_diagnostics.error(result.outputPath, 0, *failure);
        return result;
    }
    result.bytesOut = bytes.size();
    result.ok = true;
    return result;
}

} // namespace detail

CompileResult compile(const std::string& projectPath, const CompileOptions& options,
                      Diagnostics& diagnostics, const ProgressSink& progress) {
    try {
        // A project named with Windows separators is found too, unless the name exists as
        // given (a '\\' is an ordinary character in a POSIX file name).
        fs::path path = projectPath;
        std::error_code ec;
        if (!fs::exists(path, ec) && fs::exists(detail::slashes(projectPath), ec))
            path = detail::slashes(projectPath);
        detail::Compiler compiler(path, diagnostics, progress);
        return compiler.run(options);
    } catch (const std::exception& e) {
        diagnostics.error(projectPath, 0, Problem::Internal, {e.what()});
    } catch (...) {
        diagnostics.error(projectPath, 0, Problem::Internal);
    }
    return {};
}

} // namespace hhp