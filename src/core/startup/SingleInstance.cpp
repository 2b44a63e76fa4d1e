#include "core/startup/SingleInstance.h"

#include <QDir>
#include <QLockFile>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace tq3 {

SingleInstance::SingleInstance(QString lockFolder)
    : m_lockFolder(std::move(lockFolder))
{
}

QString SingleInstance::defaultLockFolder()
{
    return QDir::tempPath();
}

#ifdef Q_OS_WIN

// %TEMP% is per user on Windows; a named mutex in the Global namespace is
// seen by every session of the machine, and the system releases it when the
// process that owns it ends, however it ends.
SingleInstance::~SingleInstance()
{
    if (m_mutex)
        CloseHandle(static_cast<HANDLE>(m_mutex));
}

bool SingleInstance::claim()
{
    if (m_claimed)
        return true;
    const std::wstring name = (QStringLiteral("Global\\") + kName).toStdWString();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!mutex)
        return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    m_mutex = mutex;
    m_claimed = true;
    return true;
}

#else

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    if (m_claimed)
        return true;
    auto lock = std::make_unique<QLockFile>(QDir(m_lockFolder).filePath(kName + QStringLiteral(".lock")));
    // A claim is stale only when its process is gone, never because the
    // client has simply been running for a long time.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    m_lock = std::move(lock);
    m_claimed = true;
    return true;
}

#endif

} // namespace tq3
