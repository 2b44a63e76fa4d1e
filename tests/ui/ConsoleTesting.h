#pragma once

// What the two console tests share: a working folder (the history file lies
// there), a real archive, a UDP listener on 127.0.0.1, a clock set by hand
// and a registry for one desk.

#include "CallArchive.h"
#include "UiTesting.h"

#include "core/log/Log.h"
#include "core/store/SettingsFile.h"
#include "gui/kit/WindowRegistry.h"

#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace tq3::test {

inline const QString kDesk = QStringLiteral("Sportello 1");

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
        QVERIFY(QDir::setCurrent(m_work->path()));
        startLog(m_work->path());
        m_archive = std::make_unique<CallArchive>();
        m_listener = std::make_unique<DatagramListener>();
        m_clock = std::make_shared<ManualClock>();
        const ClientEnvironment environment{.clock = m_clock, .localAddress = [deskIp] { return deskIp; },
                                            .settingsFilePath = m_work->filePath(QStringLiteral("PercorsiClient.txt")),
                                            .numberFilePatience = std::chrono::milliseconds(300)};
        m_registry = std::make_unique<WindowRegistry>(environment);
        m_registry->record().ipLocale = deskIp;
        m_registry->record().portaServer = m_listener->port();
    }

    void tearDown()
    {
        stopLog();
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
        (void)QTest::qWaitForWindowExposed(&form);
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
    void click(const QString &name) { QTest::mouseClick(child<QWidget>(name), Qt::LeftButton); }
    void clickAvanti()
    {
        click(child<QPushButton>(QStringLiteral("Command1")) ? QStringLiteral("Command1") : QStringLiteral("Command1_0"));
    }

    QByteArray logFile() const { return readFile(m_work->filePath(kLogFileName)).value_or(QByteArray()); }
    QByteArray historyFile() const
    {
        return readFile(m_work->filePath(QStringLiteral("Cronologia-Sportello 1.txt"))).value_or(QByteArray());
    }

    // Keys as the window system queues them for the console's focus, all
    // before the first is handled. The last one is held down for `repeats`,
    // sent in turn as Windows does (a press marked as a repeat) and as X11
    // does when Qt misses it (a release and a press at the same time).
    void pressKeys(const QList<QKeyCombination> &keys, int repeats = 0)
    {
        Console *form = m_registry->template loaded<Console>();
        QWidget *focus = form->focusWidget() ? form->focusWidget() : form;
        const auto post = [focus](QEvent::Type type, QKeyCombination key, quint64 time, bool repeat) {
            const bool enter = key.key() == Qt::Key_Enter || key.key() == Qt::Key_Return;
            auto *event = new QKeyEvent(type, key.key(), key.keyboardModifiers(), enter ? QStringLiteral("\r") : QString(), repeat);
            event->setTimestamp(time);
            QCoreApplication::postEvent(focus, event);
        };
        for (qsizetype k = 0; k < keys.size(); ++k) {
            post(QEvent::KeyPress, keys[k], m_keyTime += 100, false);
            for (int i = 0; k == keys.size() - 1 && i < repeats; ++i) {
                m_keyTime += 33;
                if (i % 2 == 1)  // as X11
                    post(QEvent::KeyRelease, keys[k], m_keyTime, false);
                post(QEvent::KeyPress, keys[k], m_keyTime, i % 2 == 0);
            }
            post(QEvent::KeyRelease, keys[k], m_keyTime += 50, false);
        }
        QCoreApplication::processEvents();
    }

    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<CallArchive> m_archive;
    std::unique_ptr<DatagramListener> m_listener;
    std::shared_ptr<ManualClock> m_clock;
    std::unique_ptr<WindowRegistry> m_registry;
    QString m_previousFolder;
    quint64 m_keyTime = 0;
};

} // namespace tq3::test
