#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The comma / double-quote records of the small text files.
namespace tq3::record {

// Reads fields one after the other from Windows-1252 bytes. Commas and line
// ends (CR LF or LF) both separate fields; leading blanks are skipped; a field
// that begins with a double quote runs to the next double quote, and whatever
// stands between that quote and the next separator is ignored.
class FieldReader final {
public:
    explicit FieldReader(QByteArray bytes);

    // The next field, or nothing when the data has no more fields.
    std::optional<QString> next();

private:
    QByteArray m_bytes;
    qsizetype m_pos = 0;
};

// An optional sign and digits that fit 32 bits; anything else is no number.
std::optional<qint32> toNumber(const QString &field);

// "a","b"<CR><LF> in Windows-1252. The caller has checked every value with
// canStoreQuoted(); an unrepresentable character would come out as '?'.
QByteArray quotedRecord(const QStringList &fields);

// True when the value reads back unchanged from a quoted field.
bool canStoreQuoted(const QString &value);

// 42 -> "42\r\n".
QByteArray numberRecord(qint32 number);

} // namespace tq3::record
