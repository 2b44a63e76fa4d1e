#include "core/log/Log.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;
using namespace Qt::StringLiterals;

class TestLog final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { stopLog(); }
    void fileStaysUnderItsCapKeepingOneOlderFile();
};

void TestLog::fileStaysUnderItsCapKeepingOneOlderFile()
{
    QTemporaryDir folder;
    const auto read = [&](const QString &name) {
        QFile file(folder.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    constexpr qint64 cap = 400;  // about seven lines
    startLog(folder.path(), cap);
    for (int i = 0; i < 20; ++i)
        qCWarning(lcOperator, "line %02d", i);

    const QByteArray older = read(kLogFileName + u".1"_s);
    const QByteArray current = read(kLogFileName);
    QVERIFY(!older.isEmpty() && older.size() <= cap && !current.isEmpty() && current.size() <= cap);
    QVERIFY(!QFile::exists(folder.filePath(kLogFileName + u".2"_s)));
    // The newest lines, whole and in order across the two files; the first file is gone.
    const QByteArrayList kept = (older + current).trimmed().split('\n');
    QVERIFY(kept.size() < 20);
    for (qsizetype i = 0; i < kept.size(); ++i)
        QVERIFY(kept.at(i).endsWith(" warning tq3.operator: line "
                                    + QByteArray::number(20 - kept.size() + i).rightJustified(2, '0')));
}

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
