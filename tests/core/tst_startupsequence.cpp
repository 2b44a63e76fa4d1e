#include "core/startup/StartupSequence.h"

#include <QTest>

using namespace tq3;

// The start-up paths themselves run through the real launcher (tst_lamain);
// here only the reading of RHPort, whose values the archive may hold in any form.
class TestStartupSequence final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void portNumbers_data();
    void portNumbers();
};

void TestStartupSequence::portNumbers_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("expected");  // -1: none
    QTest::newRow("an integer") << QVariant(qint64(4000)) << 4000;
    QTest::newRow("text of digits") << QVariant(QStringLiteral("4000")) << 4000;
    QTest::newRow("text with blanks around") << QVariant(QStringLiteral(" 4000 ")) << 4000;
    QTest::newRow("a whole real") << QVariant(4000.0) << 4000;
    QTest::newRow("a fraction is none") << QVariant(4000.5) << -1;
    QTest::newRow("null is none") << QVariant() << -1;
    QTest::newRow("letters are none") << QVariant(QStringLiteral("abc")) << -1;
    QTest::newRow("more than 32 bits is none") << QVariant(qint64(5000000000)) << -1;
}

void TestStartupSequence::portNumbers()
{
    QFETCH(QVariant, value);
    QFETCH(int, expected);
    QCOMPARE(portNumber(value), expected < 0 ? std::nullopt : std::optional<qint32>(expected));
}

QTEST_GUILESS_MAIN(TestStartupSequence)
#include "tst_startupsequence.moc"
