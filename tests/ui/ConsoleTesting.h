#pragma once

// What the two console window tests share: a working folder (the history
// file lies there), a real archive, a UDP listener on 127.0.0.1, a clock set
// by hand and a registry for one desk; the console opened as the launcher
// opens it, and the modal windows read as "title|text[|icon]".

#include "CallArchive.h"
#include "UiTesting.h"

#include "startup/ui/WindowRegistry.h"
#include "store/SettingsFile.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace tq3::test {

inline const QString kDesk = QStringLiteral("Sportello 1");

// A message box as "title|text", with "|icon" when it has one; the message
// window's visible lines are joined by '/'; any other window is its name.
inline QStringList boxTexts(const ModalCloser &closer)
{
    QStringList texts;
    for (const SeenModal &seen : closer.seen) {
        const QString text = !seen.lines.isEmpty() ? seen.lines.join(QLatin1Char('/'))
                                                   : seen.text.isEmpty() ? seen.name : seen.text;
        texts << seen.title + QLatin1Char('|') + text
                     + (seen.icon == QMessageBox::NoIcon ? QString() : QStringLiteral("|icon"));
    }
    return texts;
}

// One line of the history file.
inline QByteArray historyLine(const QByteArray &number, const QByteArray &time, const QByteArray &date, int minutes,
                              const QByteArray &service)
{
    return '"' + number + "\",\"" + time + "\",\"" + date + "\"," + QByteArray::number(minutes) + ",\"" + service
        + "\"\r\n";
}

template <class Console>
class ConsoleTest : public QObject {
protected:
    void setUp(const QString &deskIp)
    {
        m_previousFolder = QDir::currentPath();
        m_work = std::make_unique<QTemporaryDir>();
        QVERIFY(m_work->isValid());
        QVERIFY(QDir::setCurrent(m_work->path()));
        m_archive = std::make_unique<CallArchive>();
        QVERIFY(m_archive->isValid());
        m_listener = std::make_unique<DatagramListener>();
        m_clock = std::make_shared<ManualClock>();
        ClientEnvironment environment;
        environment.clock = m_clock;
        environment.localAddress = [deskIp] { return deskIp; };
        environment.settingsFilePath = m_work->filePath(QStringLiteral("PercorsiClient.txt"));
        environment.numberFilePatience = std::chrono::milliseconds(300);
        m_registry = std::make_unique<WindowRegistry>(environment);
        m_registry->record().ipLocale = deskIp;
        m_registry->record().portaServer = m_listener->port();
    }

    void tearDown()
    {
        m_registry.reset();
        QDir::setCurrent(m_previousFolder);
        m_listener.reset();
        m_archive.reset();
        m_work.reset();
    }

    void writeSettings(const QString &serverAddress = QStringLiteral("127.0.0.1"))
    {
        SettingsFile settings{m_archive->folder(), kDesk, serverAddress, QStringLiteral("N")};
        QVERIFY(settings.save(m_registry->environment().settingsFilePath).ok());
    }

    Console &open(const QString &serverAddress = QStringLiteral("127.0.0.1"))
    {
        writeSettings(serverAddress);
        Console &form = m_registry->template window<Console>();
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            qWarning("console not exposed");
        return form;
    }

    void close()
    {
        if (Console *form = m_registry->template loaded<Console>())
            form->close();
        QTRY_VERIFY(!m_registry->template loaded<Console>());
    }

    template <class Child = QLabel>
    Child *child(const QString &name) const
    {
        Console *form = m_registry->template loaded<Console>();
        return form ? form->template findChild<Child *>(name) : nullptr;
    }
    QString text(const QString &label) const { return child(label)->text(); }
    QTreeWidget *history() const { return child<QTreeWidget>(QStringLiteral("LB1")); }

    void clickAvanti()
    {
        Console *form = m_registry->template loaded<Console>();
        QVERIFY(form);
        for (QPushButton *button : form->template findChildren<QPushButton *>()) {
            if (button->text() == QLatin1String("Avanti"))
                return QTest::mouseClick(button, Qt::LeftButton);
        }
        QFAIL("no Avanti button");
    }

    QByteArray historyFile() const
    {
        return readFile(m_work->filePath(QStringLiteral("Cronologia-Sportello 1.txt"))).value_or(QByteArray());
    }

    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<CallArchive> m_archive;
    std::unique_ptr<DatagramListener> m_listener;
    std::shared_ptr<ManualClock> m_clock;
    std::unique_ptr<WindowRegistry> m_registry;
    QString m_previousFolder;
};

} // namespace tq3::test
