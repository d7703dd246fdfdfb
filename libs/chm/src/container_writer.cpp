// Placeholder until the writer lands: keeps the tree building for code written against the API.
#include "chm/container_writer.h"

namespace chm {

ContainerWriter::ContainerWriter(ContainerOptions options) : m_options(options) {}

WriteError ContainerWriter::addFile(std::string name, std::vector<std::uint8_t> data,
                                    Section section) {
    m_files.push_back({std::move(name), std::move(data), section});
    return WriteError::None;
}

WriteError ContainerWriter::build(std::vector<std::uint8_t>& out) const {
    out.clear();
    return WriteError::None;
}

} // namespace chm
