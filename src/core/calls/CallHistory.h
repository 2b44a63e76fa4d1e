#pragma once

#include "core/store/Result.h"

#include <QByteArray>
#include <QString>
#include <QTime>

#include <memory>
#include <optional>

namespace tq3 {

class Clock;

// "Cronologia-" + desk + ".txt", with each of \ / : * ? " < > | and every
// control character of the desk name turned into '_', so that the file stays
// in the working folder.
QString historyFileName(const QString &deskName);

// One call as the history list shows it and the history file keeps it.
struct HistoryRow final {
    qint32 number = 0;
    QString time;      // "hh.mm"
    QString date;      // "dd/mm/yyyy"
    qint32 minutes = 0;  // since the previous call; negative across midnight
    QString service;
};

// The desk's history file, open for appending while a console is open.
class CallHistory final {
public:
    explicit CallHistory(const Clock &clock);
    ~CallHistory();

    // Opens (creates when missing) the file in `folder`, the working folder
    // when empty. A failure is kept for failureToReport().
    void open(const QString &deskName, const QString &folder = QString());
    void close();
    bool isOpen() const;

    // Builds the row of one call and appends its line as one write.
    // `lastCallTime` is the console's time of its previous call in the run
    // (null or 00.00 before the first), and is updated here.
    HistoryRow record(qint32 number, const QString &service, QTime &lastCallTime);

    // The first failure to open or write the file, once; later failures of
    // the same opening are not reported again.
    std::optional<Error> failureToReport();

    // "7","14.05","05/12/2026",3,"Anagrafe"<CR><LF>, a double quote inside a
    // text field written as '.
    static QByteArray fileLine(const HistoryRow &row);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace tq3
