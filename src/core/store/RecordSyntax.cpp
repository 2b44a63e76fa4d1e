#include "core/store/RecordSyntax.h"

#include "core/store/Text1252.h"

#include <limits>

namespace tq3::record {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool isSeparator(char c)
{
    return c == ',' || isLineEnd(c);
}

} // namespace

FieldReader::FieldReader(QByteArray bytes, TextEncoding encoding)
    : m_bytes(std::move(bytes))
    , m_encoding(encoding)
{
}

void FieldReader::skipBlanks(qsizetype &pos) const
{
    while (pos < m_bytes.size() && isBlank(m_bytes.at(pos)))
        ++pos;
}

void FieldReader::skipLineEnd(qsizetype &pos) const
{
    if (pos < m_bytes.size() && m_bytes.at(pos) == '\r')
        ++pos;
    if (pos < m_bytes.size() && m_bytes.at(pos) == '\n')
        ++pos;
}

std::optional<QString> FieldReader::next()
{
    const qsizetype size = m_bytes.size();
    if (m_pos >= size)
        return std::nullopt;

    skipBlanks(m_pos);
    QByteArray field;
    if (m_pos < size && m_bytes.at(m_pos) == '"') {
        const qsizetype closing = m_bytes.indexOf('"', m_pos + 1);
        const qsizetype end = closing < 0 ? size : closing;
        field = m_bytes.mid(m_pos + 1, end - m_pos - 1);
        m_pos = closing < 0 ? size : closing + 1;
        while (m_pos < size && !isSeparator(m_bytes.at(m_pos)))
            ++m_pos;  // whatever follows the closing quote is not part of the field
    } else {
        const qsizetype start = m_pos;
        while (m_pos < size && !isSeparator(m_bytes.at(m_pos)))
            ++m_pos;
        qsizetype end = m_pos;
        while (end > start && isBlank(m_bytes.at(end - 1)))
            --end;
        field = m_bytes.mid(start, end - start);
    }

    if (m_pos < size) {
        if (m_bytes.at(m_pos) == ',') {
            ++m_pos;
            // A comma that closes a line joins the record to the next line.
            qsizetype ahead = m_pos;
            skipBlanks(ahead);
            if (ahead == size || isLineEnd(m_bytes.at(ahead))) {
                m_pos = ahead;
                skipLineEnd(m_pos);
            }
        } else {
            skipLineEnd(m_pos);
        }
    }
    return m_encoding == TextEncoding::Utf8 ? QString::fromUtf8(field) : cp1252::decode(field);
}

std::optional<qint32> toNumber(const QString &field)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < field.size() && (field.at(i) == u'+' || field.at(i) == u'-')) {
        negative = field.at(i) == u'-';
        ++i;
    }
    if (i == field.size())
        return std::nullopt;

    // Accumulated as a negative value so that the 32-bit minimum fits too.
    constexpr qint64 kMin = std::numeric_limits<qint32>::min();
    constexpr qint64 kMax = std::numeric_limits<qint32>::max();
    qint64 value = 0;
    for (; i < field.size(); ++i) {
        const char16_t c = field.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 - (c - u'0');
        if (value < kMin)
            return std::nullopt;
    }
    if (!negative) {
        value = -value;
        if (value > kMax)
            return std::nullopt;
    }
    return static_cast<qint32>(value);
}

QByteArray quotedRecord(const QStringList &fields)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            bytes += ',';
        bytes += '"';
        bytes += cp1252::encodeLossy(fields.at(i));
        bytes += '"';
    }
    bytes += "\r\n";
    return bytes;
}

bool canStoreQuoted(const QString &value)
{
    return !value.contains(u'"') && !value.contains(u'\r') && !value.contains(u'\n')
        && cp1252::canHold(value);
}

QByteArray numberRecord(qint32 number)
{
    return QByteArray::number(number) + "\r\n";
}

} // namespace tq3::record
