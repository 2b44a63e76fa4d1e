#include "core/store/SettingsFile.h"

#include "core/store/FaultPoint.h"
#include "core/store/PlatformFile.h"
#include "core/store/RecordSyntax.h"
#include "core/store/Text1252.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>

namespace tq3 {

namespace {

constexpr int kFieldCount = 4;

QString firstUnencodable(const QString &value)
{
    qsizetype i = 0;
    while (i < value.size()) {
        const qsizetype length =
            (value.at(i).isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate()) ? 2 : 1;
        const QString codePoint = value.mid(i, length);
        if (!cp1252::canHold(codePoint))
            return codePoint;
        i += length;
    }
    return {};
}

QString describe(const QString &path, const QString &what)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), what);
}

// Windows-1252 bytes above 0x7F almost never form valid UTF-8 (an accented
// letter would have to be followed by the right symbol), so bytes that do
// are taken as a text editor's UTF-8.
bool isUtf8WithMultiByteSequences(const QByteArray &bytes)
{
    if (std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return static_cast<uchar>(c) < 0x80; }))
        return false;
    // Stateless: a sequence cut off at the end counts as an error too.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes);  // decoding is lazy until taken
    return !decoder.hasError();
}

} // namespace

Result<SettingsFile> SettingsFile::load(const QString &path)
{
    using platform::OpenStatus;
    const platform::WholeFile file = platform::readWholeFile(platformPath(path));
    switch (file.status) {
    case OpenStatus::Opened:
        break;
    case OpenStatus::Missing:
        return makeError(ErrorKind::NotFound, QStringLiteral("File delle impostazioni non trovato !"),
                         describe(path, systemError(file.error)));
    case OpenStatus::Held:
        return makeError(ErrorKind::InUse, QStringLiteral("File delle impostazioni in uso da un altro programma !"),
                         describe(path, systemError(file.error)));
    case OpenStatus::Failed:
        return makeError(ErrorKind::Io, QStringLiteral("Impossibile leggere il file delle impostazioni !"),
                         describe(path, systemError(file.error)));
    }

    return fromBytes(QByteArray::fromStdString(file.bytes), path);
}

Result<SettingsFile> SettingsFile::fromBytes(QByteArray bytes, const QString &path)
{
    // A hand-edited file may come from an editor that saves UTF-8, with or
    // without a byte-order mark; the client itself always writes Windows-1252.
    // UTF-16 (Notepad's "Unicode") is refused rather than misread: its byte-order
    // mark, or a first character of ASCII, tells it.
    const bool utf16 = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")
        || (bytes.size() >= 2 && (bytes.at(0) == '\0') != (bytes.at(1) == '\0'));
    if (utf16)
        return makeError(ErrorKind::Io,
                         QStringLiteral("File delle impostazioni in UTF-16: salvarlo come ANSI o UTF-8 !"),
                         describe(path, QStringLiteral("UTF-16 text")));
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const record::TextEncoding encoding = isUtf8WithMultiByteSequences(bytes) ? record::TextEncoding::Utf8
                                                                              : record::TextEncoding::Windows1252;
    record::FieldReader reader(std::move(bytes), encoding);
    QStringList fields;
    while (fields.size() < kFieldCount) {
        std::optional<QString> field = reader.next();
        if (!field)
            return makeError(ErrorKind::TooFewFields, QStringLiteral("File delle impostazioni incompleto !"),
                             describe(path, QStringLiteral("%1 fields of %2").arg(fields.size()).arg(kFieldCount)));
        fields.append(*field);
    }
    // Whatever follows the fourth field is ignored, and lost at the next save.
    return SettingsFile{fields.at(0), fields.at(1), fields.at(2), fields.at(3)};
}

Result<QByteArray> SettingsFile::toBytes() const
{
    const QStringList fields{percorsoServer, nomePostazione, ipServer, secondoSchermo};
    for (const QString &field : fields) {
        if (Result<void> storable = checkStorable(field); !storable)
            return storable.error();
    }
    return record::quotedRecord(fields);
}

Result<void> SettingsFile::save(const QString &path) const
{
    const Result<QByteArray> record = toBytes();
    if (!record)
        return record.error();
    const QByteArray &bytes = *record;

    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir())
        return makeError(ErrorKind::NotFound, QStringLiteral("Cartella del file delle impostazioni non trovata !"),
                         describe(folder, QStringLiteral("no such folder")));

    // A temporary file in the same folder, renamed over the old one only once
    // it is whole: a crash at any moment leaves either the old or the new line.
    QSaveFile file(path);
    const auto failed = [&file, &path] {
        return makeError(ErrorKind::Io, QStringLiteral("Impossibile salvare il file delle impostazioni !"),
                         describe(path, file.errorString()));
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed();
    const qsizetype half = bytes.size() / 2;
    if (file.write(bytes.constData(), half) != half || !file.flush())
        return failed();
    faultPoint(fault::kSettingsTempHalfWritten);
    if (file.write(bytes.constData() + half, bytes.size() - half) != bytes.size() - half || !file.flush())
        return failed();
    faultPoint(fault::kSettingsTempWritten);
    if (!file.commit())
        return failed();
    faultPoint(fault::kSettingsReplaced);
    return {};
}

Result<void> SettingsFile::checkStorable(const QString &value)
{
    if (value.contains(u'"'))
        return makeError(ErrorKind::Unrepresentable, QStringLiteral("Le virgolette (\") non sono ammesse !"),
                         QStringLiteral("double quote in: %1").arg(value));
    if (value.contains(u'\r') || value.contains(u'\n'))
        return makeError(ErrorKind::Unrepresentable, QStringLiteral("Il testo deve stare su una sola riga !"),
                         QStringLiteral("line break in a value"));
    // Invisible in the windows and meaningless in a folder, a name or an
    // address; a NUL would even make the file look like UTF-16.
    if (std::any_of(value.cbegin(), value.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; }))
        return makeError(ErrorKind::Unrepresentable, QStringLiteral("Caratteri di controllo non ammessi !"),
                         QStringLiteral("control character in: %1").arg(value));
    if (const QString character = firstUnencodable(value); !character.isEmpty())
        return makeError(ErrorKind::Unrepresentable,
                         QStringLiteral("Il carattere «%1» non è ammesso !").arg(character),
                         QStringLiteral("U+%1 has no Windows-1252 byte")
                             .arg(QString::number(character.toUcs4().value(0), 16).toUpper().rightJustified(4, u'0')));
    // Bytes that happen to form UTF-8 would be read back as UTF-8 ("NÞžC"
    // comes back as "N\u079EC"): such a value cannot be kept as typed.
    if (isUtf8WithMultiByteSequences(cp1252::encodeLossy(value)))
        return makeError(ErrorKind::Unrepresentable, QStringLiteral("Testo non ammesso !"),
                         QStringLiteral("reads back as UTF-8: %1").arg(value));
    if (!record::canStoreQuoted(value))
        return makeError(ErrorKind::Unrepresentable, QStringLiteral("Testo non ammesso !"),
                         QStringLiteral("value does not read back: %1").arg(value));
    return {};
}

} // namespace tq3
