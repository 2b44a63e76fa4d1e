#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The comma / double-quote records of the small text files.
namespace tq3::record {

// How the bytes of a field become text. The separators are ASCII, so the
// fields are found the same way in both.
enum class TextEncoding { Windows1252, Utf8 };

// Reads fields one after the other from Windows-1252 (or UTF-8) bytes, as
// loosely as the files have been written over the years:
// - a comma or a line end (CR LF, LF, or a lone CR) ends a field, so a record
//   may go on over several lines; a comma that closes a line is one separator
//   with that line end, and a comma at the very end of the data ends it;
// - leading blanks (spaces, tabs) are skipped;
// - a field that begins with a double quote runs to the next double quote
//   (over line ends, or to the end of the data when none follows) and is taken
//   without the quotes; whatever stands between that quote and the next
//   separator is ignored;
// - an unquoted field runs to the next comma or line end; its trailing blanks
//   are dropped too, so "False  " reads as False;
// - an empty line, or one holding only blanks, is one empty field;
// - the data has no more fields once its last separator has been read.
class FieldReader final {
public:
    explicit FieldReader(QByteArray bytes, TextEncoding encoding = TextEncoding::Windows1252);

    // The next field, or nothing when the data has no more fields.
    std::optional<QString> next();

private:
    void skipBlanks(qsizetype &pos) const;
    void skipLineEnd(qsizetype &pos) const;

    QByteArray m_bytes;
    TextEncoding m_encoding;
    qsizetype m_pos = 0;
};

// An optional sign and ASCII digits that fit 32 bits; anything else (blanks,
// an empty field, a bare sign, more than 32 bits) is no number.
std::optional<qint32> toNumber(const QString &field);

// "a","b"<CR><LF> in Windows-1252. The caller has checked every value with
// canStoreQuoted(); an unrepresentable character would come out as '?'.
QByteArray quotedRecord(const QStringList &fields);

// True when the value reads back unchanged from a quoted field.
bool canStoreQuoted(const QString &value);

// 42 -> "42\r\n".
QByteArray numberRecord(qint32 number);

} // namespace tq3::record
