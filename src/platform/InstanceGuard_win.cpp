#include "platform/InstanceGuard.h"

#include <windows.h>

namespace tq3::platform {

InstanceGuard::~InstanceGuard()
{
    if (isClaimed())
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

bool InstanceGuard::claim(const std::string &name)
{
    if (isClaimed())
        return true;
    // %TEMP% is per user here, a Global mutex is one for the machine, and the
    // system destroys it with the last handle, which a process's end closes.
    const std::string global = "Global\\" + name;
    const std::wstring wide(global.begin(), global.end());
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, wide.c_str());
    // Another user's mutex is not ours to open: no handle at all, refused too.
    if (!mutex)
        return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(mutex);
    return true;
}

} // namespace tq3::platform
