#include "platform/text_file.h"

namespace host {

std::string TextReader::readLine() {
    const std::size_t start = m_pos;
    while (m_pos < m_content.size() && m_content[m_pos] != '\r' && m_content[m_pos] != '\n') {
        ++m_pos;
    }
    std::string line = m_content.substr(start, m_pos - start);
    if (m_pos < m_content.size()) {
        // CR LF, a lone LF and a lone CR each end one line.
        if (m_content[m_pos] == '\r' && m_pos + 1 < m_content.size() &&
            m_content[m_pos + 1] == '\n') {
            m_pos += 2;
        } else {
            ++m_pos;
        }
    }
    return line;
}

} // namespace host
