// The one exception type of the host layer: an unexpected failure of the system (a file that
// cannot be opened or created, a tool that cannot be started), with a message for the user.
#pragma once

#include <stdexcept>
#include <string>

namespace host {

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace host
