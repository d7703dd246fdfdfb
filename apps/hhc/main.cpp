// hhc.exe PROJECT: compiles a help project into the .chm file the project names.
//
// The program that calls us passes the project's name as the rest of one command line, so
// a name with blanks may arrive split over several arguments: they are joined back with
// blanks before use.
#include "hhc_messages.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <hhp/compile.h>
#include <string>

namespace {

std::string formatBytes(std::uint64_t bytes) {
    char text[64];
    if (bytes >= 10u * 1024u * 1024u)
        std::snprintf(text, sizeof text, "%.1f MiB",
                      static_cast<double>(bytes) / (1024.0 * 1024.0));
    else if (bytes >= 10u * 1024u)
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%llu 字节", static_cast<unsigned long long>(bytes));
    return text;
}

std::optional<std::int64_t> sourceDateEpoch() {
    const char* value = std::getenv("SOURCE_DATE_EPOCH");
    if (!value || !*value)
        return std::nullopt;
    char* end = nullptr;
    const long long seconds = std::strtoll(value, &end, 10);
    if (*end != '\0' || seconds < 0)
        return std::nullopt;
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    // A file-size limit must fail the write (and leave the earlier .chm), not kill us mid-way.
    std::signal(SIGXFSZ, SIG_IGN);
    std::string project;
    for (int i = 1; i < argc; ++i) {
        if (!project.empty())
            project += ' ';
        project += argv[i];
    }
    // Trailing blanks are never part of a name the caller meant.
    while (!project.empty() && (project.back() == ' ' || project.back() == '\t'))
        project.pop_back();
    if (project.empty()) {
        std::fprintf(stderr, "用法：hhc.exe 工程文件.hhp\n");
        return 2;
    }

    const auto start = std::chrono::steady_clock::now();
    hhp::CompileOptions options;
    options.timestamp = sourceDateEpoch();
    hhp::Diagnostics diagnostics;
    const hhp::CompileResult result = hhp::compile(
        project, options, diagnostics, [](hhp::Step step, const std::vector<std::string>& args) {
            std::printf("%s\n", hhc::progressLine(step, args).c_str());
            std::fflush(stdout);
        });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::string log;
    for (const auto& d : diagnostics.items()) {
        const std::string line = hhc::diagnosticLine(d);
        log += line + "\n";
        if (d.severity == hhp::Severity::Error || result.displayNotes)
            std::fprintf(stderr, "%s\n", line.c_str());
    }
    if (!result.errorLogFile.empty()) {
        std::ofstream out(result.errorLogFile, std::ios::binary | std::ios::trunc);
        out << log;
    }

    if (!result.ok) {
        std::printf("编译失败：%s：%zu 个错误，%zu 个警告\n", project.c_str(),
                    diagnostics.count(hhp::Severity::Error),
                    diagnostics.count(hhp::Severity::Warning));
        return 1;
    }
    std::printf("编译完成：%s：%zu 个文件，%zu 个主题，输入 %s，输出 %s", result.outputPath.c_str(),
                result.fileCount, result.topicCount, formatBytes(result.bytesIn).c_str(),
                formatBytes(result.bytesOut).c_str());
    if (result.bytesIn > 0)
        std::printf("（%.1f%%）", 100.0 * static_cast<double>(result.bytesOut) /
                                      static_cast<double>(result.bytesIn));
    std::printf("，用时 %.2f 秒，%zu 个警告\n", seconds, diagnostics.count(hhp::Severity::Warning));
    return 0;
}
