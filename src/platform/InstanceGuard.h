#pragma once

#include <cstdint>
#include <string>

namespace tq3::platform {

// One holder of a name per machine, whichever user starts it. The claim goes
// with the object or with the process, however the process ends, so no claim
// is ever left behind: on Linux a socket bound to the name in the abstract
// namespace (nothing in the file system, nothing another user could not
// remove), on Windows a named mutex in the Global namespace, seen by every
// session.
class InstanceGuard final {
public:
    InstanceGuard() = default;
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard &) = delete;
    InstanceGuard &operator=(const InstanceGuard &) = delete;

    // True when this object holds `name` now (letters, digits and '-' only).
    bool claim(const std::string &name);
    bool isClaimed() const { return m_handle != kNone; }

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_handle = kNone;
};

} // namespace tq3::platform
