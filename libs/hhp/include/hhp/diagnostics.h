// Warnings and errors found while reading a help project. Libraries never print: they collect
// diagnostics here and the caller decides how to show them.
#pragma once

#include <string>
#include <vector>

namespace hhp {

enum class Severity { Warning, Error };

struct Diagnostic {
    Severity severity = Severity::Warning;
    std::string file; // as the user would recognise it; empty when no file is involved
    int line = 0;     // 1-based; 0 when the message is about the file as a whole
    std::string message;
};

// "file:line: 警告：message", the form compilers print, with the severity in Chinese.
std::string formatDiagnostic(const Diagnostic& diagnostic);

class Diagnostics {
public:
    void warn(std::string file, int line, std::string message) {
        m_items.push_back({Severity::Warning, std::move(file), line, std::move(message)});
    }
    void error(std::string file, int line, std::string message) {
        m_items.push_back({Severity::Error, std::move(file), line, std::move(message)});
    }
    const std::vector<Diagnostic>& items() const { return m_items; }
    bool hasErrors() const;
    std::size_t count(Severity severity) const;

private:
    std::vector<Diagnostic> m_items;
};

} // namespace hhp
