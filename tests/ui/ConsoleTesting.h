#pragma once

// What the two console tests share: a working folder (the history file lies
// there), a real archive, a UDP listener on 127.0.0.1, a clock set at
// 05/12/2026 14.05 and a registry for one desk.

#include "CallArchive.h"
#include "UiTesting.h"

#include "core/log/Log.h"
#include "core/store/SettingsFile.h"
#include "gui/kit/WindowRegistry.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>

namespace tq3::test {

using namespace Qt::StringLiterals;

inline const QString kDesk = QStringLiteral("Sportello 1");

// One line of the history file, for a call at the clock's time.
inline QByteArray historyLine(const QByteArray &number, const QByteArray &service)
{
    return '"' + number + "\",\"14.05\",\"05/12/2026\",0,\"" + service + "\"\r\n";
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
        m_registry = std::make_unique<WindowRegistry>(ClientEnvironment{
            .clock = std::make_shared<ManualClock>(), .localAddress = [deskIp] { return deskIp; },
            .settingsFilePath = m_work->filePath(QStringLiteral("PercorsiClient.txt")),
            .numberFilePatience = std::chrono::milliseconds(300)});
        m_registry->record().ipLocale = deskIp;
        m_registry->record().portaServer = m_listener->port();
    }

    void tearDown()
    {
        stopLog();
        m_registry.reset();
        QDir::setCurrent(m_previousFolder);
    }

    Console &open(const QString &serverAddress = QStringLiteral("127.0.0.1"))
    {
        SettingsFile settings{m_archive->folder(), kDesk, serverAddress, QStringLiteral("N")};
        [&] { QVERIFY(settings.save(m_registry->environment().settingsFilePath).ok()); }();
        Console &form = m_registry->template window<Console>();
        form.show();
        (void)QTest::qWaitForWindowExposed(&form);
        return form;
    }

    template <class Child = QLabel>
    Child *child(const QString &name) const { return form()->template findChild<Child *>(name); }
    Console *form() const { return m_registry->template loaded<Console>(); }
    QString text(const QString &label) const { return child(label)->text(); }
    QTreeWidget *history() const { return child<QTreeWidget>(QStringLiteral("LB1")); }
    void click(const QString &name) { QTest::mouseClick(child<QWidget>(name), Qt::LeftButton); }
    void clickAvanti() { click(child<QPushButton>(u"Command1"_s) ? u"Command1"_s : u"Command1_0"_s); }

    QByteArray historyFile() const { return readFile(m_work->filePath(u"Cronologia-Sportello 1.txt"_s)).value_or(""); }

    // Keys as the window system queues them for the console's focus, all
    // before the first is handled. The last one is held down for `repeats`,
    // sent in turn as Windows does (a press marked as a repeat) and as X11
    // does when Qt misses it (a release and a press at the same time).
    void pressKeys(const QList<QKeyCombination> &keys, int repeats = 0)
    {
        QWidget *focus = form()->focusWidget() ? form()->focusWidget() : form();
        const auto post = [focus](QEvent::Type type, QKeyCombination key, quint64 time, bool repeat) {
            const bool enter = key.key() == Qt::Key_Enter || key.key() == Qt::Key_Return;
            auto *event = new QKeyEvent(type, key.key(), key.keyboardModifiers(), enter ? u"\r"_s : QString(), repeat);
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
    std::unique_ptr<WindowRegistry> m_registry;
    QString m_previousFolder;
    quint64 m_keyTime = 0;
};

} // namespace tq3::test
