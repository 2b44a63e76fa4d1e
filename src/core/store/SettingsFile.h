#pragma once

#include "core/store/Result.h"

#include <QString>

namespace tq3 {

inline const QString kSettingsFileName = QStringLiteral("PercorsiClient.txt");

// PercorsiClient.txt: one line of four quoted fields.
struct SettingsFile final {
    QString percorsoServer;  // field 1
    QString nomePostazione;  // field 2
    QString ipServer;        // field 3
    QString secondoSchermo;  // field 4: "S" or "N"

    // NotFound when the file (or its folder) is missing; TooFewFields when it
    // holds fewer than four fields; InUse / Io when it cannot be read.
    static Result<SettingsFile> load(const QString &path = kSettingsFileName);
    // The same for the file's bytes; `path` only names the file in the detail.
    static Result<SettingsFile> fromBytes(QByteArray bytes, const QString &path = kSettingsFileName);

    // Replaces the file atomically; refuses (Unrepresentable, nothing written)
    // a value that would read back differently.
    Result<void> save(const QString &path = kSettingsFileName) const;
    // The line save writes, or the refusal of its first unstorable value.
    Result<QByteArray> toBytes() const;

    // Unrepresentable with an operator message naming the problem, for a value
    // holding a double quote, a line break or a character Windows-1252 lacks.
    static Result<void> checkStorable(const QString &value);

    friend bool operator==(const SettingsFile &, const SettingsFile &) = default;
};

} // namespace tq3
