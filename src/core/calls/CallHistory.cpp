#include "core/calls/CallHistory.h"

#include "core/store/Clock.h"
#include "core/store/Text1252.h"

#include <QDir>
#include <QFile>

namespace tq3 {

namespace {

bool unfitForFileName(QChar ch)
{
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    return ch.unicode() < 0x20 || ch.category() == QChar::Other_Control || forbidden.contains(ch);
}

// A double quote would end the field early and a line break would split the
// line: neither may reach the file inside a text field.
QString fieldText(const QString &text)
{
    QString out = text;
    for (QChar &ch : out) {
        if (ch == u'"')
            ch = u'\'';
        else if (ch == u'\r' || ch == u'\n')
            ch = u' ';
    }
    return out;
}

QByteArray quoted(const QString &text)
{
    return '"' + cp1252::encodeLossy(fieldText(text)) + '"';
}

} // namespace

QString historyFileName(const QString &deskName)
{
    QString safe = deskName;
    for (QChar &ch : safe) {
        if (unfitForFileName(ch))
            ch = u'_';
    }
    return QStringLiteral("Cronologia-") + safe + QStringLiteral(".txt");
}

struct CallHistory::Impl {
    explicit Impl(const Clock &c) : clock(c) {}

    void fail(QString message, QString detail)
    {
        if (!failure)
            failure = makeError(ErrorKind::Io, std::move(message), std::move(detail));
    }

    const Clock &clock;
    QFile file;
    std::optional<Error> failure;
    bool reported = false;
};

CallHistory::CallHistory(const Clock &clock)
    : m_impl(std::make_unique<Impl>(clock))
{
}

CallHistory::~CallHistory() = default;

void CallHistory::open(const QString &deskName, const QString &folder)
{
    close();
    m_impl->failure.reset();
    m_impl->reported = false;
    const QString name = historyFileName(deskName);
    const QString path = folder.isEmpty() ? name : QDir(folder).filePath(name);
    m_impl->file.setFileName(path);
    // Unbuffered: each line reaches the file with the one write that carries it.
    if (!m_impl->file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_impl->fail(QStringLiteral("Impossibile aprire il file della cronologia !"),
                     path + QStringLiteral(": ") + m_impl->file.errorString());
    }
}

void CallHistory::close()
{
    if (m_impl->file.isOpen())
        m_impl->file.close();
}

bool CallHistory::isOpen() const
{
    return m_impl->file.isOpen();
}

HistoryRow CallHistory::record(qint32 number, const QString &service, QTime &lastCallTime)
{
    const QDateTime now = m_impl->clock.now();
    const QTime callTime(now.time().hour(), now.time().minute());

    HistoryRow row;
    row.number = number;
    row.time = callTime.toString(QStringLiteral("hh.mm"));
    row.date = now.date().toString(QStringLiteral("dd/MM/yyyy"));
    row.service = service;
    // Times of day only: a call after midnight counts back across it.
    const bool noPreviousCall = !lastCallTime.isValid() || lastCallTime == QTime(0, 0);
    row.minutes = noPreviousCall ? 0 : lastCallTime.secsTo(callTime) / 60;
    lastCallTime = callTime;

    if (m_impl->file.isOpen()) {
        const QByteArray line = fileLine(row);
        if (m_impl->file.write(line) != line.size()) {
            m_impl->fail(QStringLiteral("Impossibile scrivere il file della cronologia !"),
                         m_impl->file.fileName() + QStringLiteral(": ") + m_impl->file.errorString());
        }
    }
    return row;
}

std::optional<Error> CallHistory::failureToReport()
{
    if (!m_impl->failure || m_impl->reported)
        return std::nullopt;
    m_impl->reported = true;
    return m_impl->failure;
}

QByteArray CallHistory::fileLine(const HistoryRow &row)
{
    QByteArray line;
    line += quoted(QString::number(row.number));
    line += ',';
    line += quoted(row.time);
    line += ',';
    line += quoted(row.date);
    line += ',';
    line += QByteArray::number(row.minutes);
    line += ',';
    line += quoted(row.service);
    line += "\r\n";
    return line;
}

} // namespace tq3
