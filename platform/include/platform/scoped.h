// Puts a stand-in in the place of a service for the life of the object, and the service it
// replaced back afterwards. The service's own source file keeps its one slot and defines
// slot() to name it.
#pragma once

#include <utility>

namespace host {

template <typename Service> class Scoped {
public:
    explicit Scoped(Service& replacement) : m_previous(std::exchange(slot(), &replacement)) {}
    ~Scoped() { slot() = m_previous; }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

private:
    static Service*& slot();

    Service* m_previous;
};

} // namespace host
