#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// All text on disk and on the wire is single-byte Windows-1252.
namespace tq3::cp1252 {

QString decode(const QByteArray &bytes);

// Exact encoding, or nothing when any character has no Windows-1252 byte.
std::optional<QByteArray> encodeExact(const QString &text);

// For text the operator did not type (a service name from the database):
// each character the code page cannot hold becomes '?', never a control byte.
QByteArray encodeLossy(const QString &text);

bool canHold(const QString &text);

} // namespace tq3::cp1252
