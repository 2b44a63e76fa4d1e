#pragma once

// Shared by the settings windows' tests: answering the modal windows they
// open as an operator would, and reading the settings file as bytes.

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace tq3::test {

// What a message window showed before it was closed.
struct SeenMessage final {
    bool seen = false;
    QString title;
    QString line0;
    QString line1;
    bool line0Visible = false;
    bool line1Visible = false;
};

// Looks every 20 ms for the active modal window; hands it to `handle`, which
// returns true once it has dealt with it. Gives up after `tries` looks; so
// that no test can hang, it then closes whatever modal window stands.
class ModalWatch final : public QObject {
public:
    explicit ModalWatch(std::function<bool(QWidget *)> handle, int tries = 400)
        : m_handle(std::move(handle))
        , m_triesLeft(tries)
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { look(); });
        m_timer.start();
    }

    bool done() const { return m_done; }
    bool gaveUp() const { return m_gaveUp; }
    void cancel() { m_timer.stop(); }

private:
    void look()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && m_handle(modal)) {
            m_done = true;
            m_timer.stop();
            return;
        }
        if (--m_triesLeft > 0)
            return;
        m_timer.stop();
        m_gaveUp = true;
        if (modal)
            modal->close();
    }

    std::function<bool(QWidget *)> m_handle;
    QTimer m_timer;
    int m_triesLeft;
    bool m_done = false;
    bool m_gaveUp = false;
};

// Reads the next message window (MsgForm) and clicks its "C&hiudi".
inline std::unique_ptr<ModalWatch> answerMessage(const std::shared_ptr<SeenMessage> &seen)
{
    return std::make_unique<ModalWatch>([seen](QWidget *modal) {
        if (modal->objectName() != QLatin1String("MsgForm"))
            return false;
        auto *line0 = modal->findChild<QLabel *>(QStringLiteral("Label2_0"));
        auto *line1 = modal->findChild<QLabel *>(QStringLiteral("Label2_1"));
        if (!line0 || !line1 || !modal->isVisible())
            return false;
        seen->seen = true;
        seen->title = modal->windowTitle();
        seen->line0 = line0->text();
        seen->line1 = line1->text();
        seen->line0Visible = line0->isVisible();
        seen->line1Visible = line1->isVisible();
        if (auto *close = modal->findChild<QAbstractButton *>(QStringLiteral("PB1_0")))
            QTest::mouseClick(close, Qt::LeftButton);
        else
            modal->close();
        return true;
    });
}

// Answers the next folder chooser: the title it showed lands in `title`; it
// chooses `folder`, or cancels when `folder` is empty.
inline std::unique_ptr<ModalWatch> answerFolderChooser(const QString &folder,
                                                       std::shared_ptr<QString> title)
{
    return std::make_unique<ModalWatch>([folder, title](QWidget *modal) {
        auto *chooser = qobject_cast<QFileDialog *>(modal);
        if (!chooser || !chooser->isVisible())
            return false;
        *title = chooser->windowTitle();
        if (folder.isEmpty()) {
            chooser->reject();
            return true;
        }
        // Standing in a folder with nothing selected chooses that folder.
        chooser->setDirectory(folder);
        // The chooser's own button, as the operator presses it.
        auto *buttons = chooser->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QAbstractButton *choose = buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
        if (choose && choose->isEnabled())
            QTest::mouseClick(choose, Qt::LeftButton);
        else
            QMetaObject::invokeMethod(chooser, "accept");
        return true;
    });
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace tq3::test
