#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace tq3 {

// Refuses a second client on the same machine. The claim lasts as long as
// the object; a claim left by a client that crashed or was killed does not
// count.
class SingleInstance final {
public:
    // `lockFolder` is where the claim is kept on Linux (the system's temp
    // folder, shared by every user of the machine); tests give a folder of
    // their own. On Windows the claim is a machine-wide named mutex.
    explicit SingleInstance(QString lockFolder = defaultLockFolder());
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when no other client runs: this one now holds the claim.
    bool claim();
    bool isClaimed() const { return m_claimed; }

    static QString defaultLockFolder();
    static inline const QString kName = QStringLiteral("tq3max-client");

private:
    QString m_lockFolder;
    bool m_claimed = false;
#ifdef Q_OS_WIN
    void *m_mutex = nullptr;
#else
    std::unique_ptr<QLockFile> m_lock;
#endif
};

} // namespace tq3
