#pragma once

#include "core/store/Result.h"

#include <QString>

#include <memory>
#include <optional>

namespace tq3 {

inline const QString kCallJournalFileName = QStringLiteral("ChiamataInCorso.txt");

// The journal lies in the desk's working folder, beside its settings file.
QString callJournalPath(const QString &settingsFilePath);

// How far the call in progress got: what a crash would leave undone.
struct JournalEntry final {
    enum class Stage {
        Lowering,      // selective, before Attesa is lowered: nothing changed yet
        Lowered,       // selective: Attesa lowered, no number taken yet
        NumberTaken,   // selective: `number` read, its successor written or about to be
        Marking,       // automatic, before the mark: nothing changed yet
        Marked,        // automatic: this desk marked ticket `ticketKey`
    };
    Stage stage = Stage::Lowering;
    qint64 serviceId = 0;
    QString service;
    QString desk;
    qint32 number = 0;
    qint64 ticketKey = 0;
};

// The one-line journal of the call in progress (ChiamataInCorso.txt), as
// "NumeroPreso",12,"Anagrafe","Sportello 1",41,0<CR><LF> (stage, service id,
// service, desk, number, ticket key). Each
// entry is written over the last one, then the file is cut to its length and
// flushed to disk: a crash leaves the old entry or the new one, never half of
// either. An empty or missing file means no call in progress.
class CallJournal final {
public:
    // An empty path keeps no journal: a call run on its own, as the call
    // tests and the benchmarks do.
    explicit CallJournal(QString path);
    ~CallJournal();
    CallJournal(const CallJournal &) = delete;
    CallJournal &operator=(const CallJournal &) = delete;

    // The file stays open from the first write to the clear, so that an entry
    // following a change in the archive costs one write of the system. Later:
    // flushed and cut by flush(), so that nothing stands between this entry
    // and the write it announces (a kill between the two is the one moment
    // that the journal cannot tell about).
    enum class Flush { Now, Later };
    Result<void> write(const JournalEntry &entry, Flush when = Flush::Now);
    Result<void> flush();
    Result<void> clear();

    // Nothing: no call in progress. InvalidValue: a record that is no entry.
    static Result<std::optional<JournalEntry>> read(const QString &path);

private:
    struct Impl;
    QString m_path;
    std::unique_ptr<Impl> m_impl;
};

} // namespace tq3
