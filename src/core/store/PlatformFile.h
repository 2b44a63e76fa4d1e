#pragma once

#include "platform/ExclusiveFile.h"

#include <QDir>
#include <QString>

// The platform layer's files as the store names them: Qt paths and texts.
namespace tq3 {

inline std::filesystem::path platformPath(const QString &path)
{
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdU16String());
}

// The system's text for an error number, with the number.
inline QString systemError(int code)
{
    return QStringLiteral("%1 (%2)").arg(qt_error_string(code)).arg(code);
}

} // namespace tq3
