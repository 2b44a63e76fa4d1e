#pragma once

// Answering the modal windows a test action opens, as an operator would,
// without ever leaving a test hanging on one. Arm a closer BEFORE the action:
//
//     test::ModalCloser closer;
//     QTest::mouseClick(okButton, Qt::LeftButton);
//     QCOMPARE(closer.names(), QStringList{u"QMessageBox"_s});
//     QCOMPARE(closer.seen.at(0).title, u"ATTENZIONE"_s);
//
// While it lives it looks at QApplication::activeModalWidget() every 20 ms.
// Each modal window that appears after it was armed is recorded in `seen`,
// then handed to the optional hook; unless the hook returns true ("I take
// care of this one"), it is closed as an operator would: OK on a QMessageBox,
// "C&hiudi" on MsgForm, close() on anything else, retried a few times and
// then hidden if it stays up. After `budgetMs` it gives up (gaveUp()) and
// closes every modal window at sight, so no test can hang. A hook may open
// further modal windows (the closer answers them too, re-entrantly).
// For an action that does not block, wait with QVERIFY(closer.waitFor(n)).
// Keep one closer alive at a time: two would both answer the same window.

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>

namespace tq3::test {

struct SeenModal final {
    QString name;   // objectName, or the class name when it has none ("QMessageBox")
    QString title;
    QString text;   // a QMessageBox's text; MsgForm's visible lines joined by '\n'
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList lines;  // MsgForm's visible lines (Label2_0, Label2_1)
};

inline SeenModal readModal(QWidget *window)
{
    SeenModal seen;
    seen.name = window->objectName().isEmpty() ? QString::fromLatin1(window->metaObject()->className())
                                               : window->objectName();
    seen.title = window->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(window)) {
        seen.text = box->text();
        seen.icon = box->icon();
    } else if (seen.name == QLatin1String("MsgForm")) {
        for (const char *name : {"Label2_0", "Label2_1"}) {
            if (auto *line = window->findChild<QLabel *>(QLatin1String(name)); line && line->isVisible())
                seen.lines << line->text();
        }
        seen.text = seen.lines.join(QLatin1Char('\n'));
    }
    return seen;
}

// OK on a message box, "C&hiudi" on the message window, close() otherwise.
inline void closeAsOperator(QWidget *window)
{
    QAbstractButton *button = nullptr;
    if (auto *box = qobject_cast<QMessageBox *>(window))
        button = box->button(QMessageBox::Ok);
    else if (window->objectName() == QLatin1String("MsgForm"))
        button = window->findChild<QAbstractButton *>(QStringLiteral("PB1_0"));
    if (button && button->isVisible() && button->isEnabled())
        QTest::mouseClick(button, Qt::LeftButton);
    else
        window->close();
}

class ModalCloser final : public QObject {
public:
    // Returns true when it takes care of the window itself.
    using Hook = std::function<bool(QWidget *)>;

    explicit ModalCloser(Hook hook = {}, int budgetMs = 15000)
        : m_hook(std::move(hook))
        , m_budgetMs(budgetMs)
    {
        // Modal windows already up belong to the test, not to its action.
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->isModal())
                m_handled.append({window, Stage::WithTheTest, 0});
        }
        m_clock.start();
        connect(&m_timer, &QTimer::timeout, this, &ModalCloser::look);
        m_timer.start(20);
    }

    QList<SeenModal> seen;

    QStringList names() const
    {
        QStringList result;
        for (const SeenModal &modal : seen)
            result << modal.name;
        return result;
    }
    bool gaveUp() const { return m_gaveUp; }
    bool waitFor(int count, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return seen.size() >= count; }, timeoutMs);
    }

private:
    enum class Stage { WithTheTest, InHook, Closing };
    struct Handled {
        QPointer<QWidget> window;
        Stage stage;
        int closes;
    };

    // Runs from the timer; the window is answered from a queued call, so that
    // the timer keeps looking while a hook waits in a nested modal window.
    void look()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (m_clock.elapsed() > m_budgetMs) {
            m_gaveUp = true;
            modal->close();
            return;
        }
        for (Handled &done : m_handled) {
            if (done.window.data() != modal)
                continue;
            // Ours and still up: the click did not take; try again, then hide it.
            if (done.stage == Stage::Closing && ++done.closes > 1) {
                QPointer<QWidget> again = modal;
                const bool hide = done.closes > 5;
                QMetaObject::invokeMethod(this, [again, hide] {
                    if (again && again->isVisible())
                        hide ? again->hide() : closeAsOperator(again);
                }, Qt::QueuedConnection);
            }
            return;
        }
        m_handled.append({modal, Stage::InHook, 0});
        seen.append(readModal(modal));
        QPointer<QWidget> window = modal;
        QMetaObject::invokeMethod(this, [this, window] { answer(window); }, Qt::QueuedConnection);
    }

    void answer(const QPointer<QWidget> &window)
    {
        if (!window || !window->isVisible())
            return;
        const bool hookTakesCare = m_hook && m_hook(window);
        for (Handled &done : m_handled) {
            if (done.window == window)
                done.stage = hookTakesCare ? Stage::WithTheTest : Stage::Closing;
        }
        if (!hookTakesCare && window)
            closeAsOperator(window);
    }

    Hook m_hook;
    int m_budgetMs;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QList<Handled> m_handled;
    bool m_gaveUp = false;
};

} // namespace tq3::test
