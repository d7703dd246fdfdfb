// Line-oriented 8-bit text files. Bytes pass through untouched: a page's title in GBK stays
// GBK. Lines are read without their terminator (CR LF, LF or CR) and written with CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace host {

class TextReader {
public:
    explicit TextReader(std::string content) : m_content(std::move(content)) {}

    bool atEndOfStream() const { return m_pos >= m_content.size(); }
    // Past the end it yields an empty line; callers test atEndOfStream() first.
    std::string readLine();

private:
    std::string m_content;
    std::size_t m_pos = 0;
};

class TextWriter {
public:
    virtual ~TextWriter() = default;
    virtual void writeLine(std::string_view line) = 0;
    // Flushes and closes; a failure to write reaches the caller as HostError.
    virtual void close() = 0;
};

} // namespace host
