#pragma once

// Answers the modal windows a test action opens, as an operator would. Arm it
// BEFORE the action; it looks at the active modal window every 20 ms, records
// each new one in `seen`, hands it to the hook and, unless the hook returns
// true ("I answer this one"), clicks OK / "C&hiudi" or closes it. A window
// that stays up is closed again, then hidden; after 15 s every modal window
// is closed at sight, so no test can hang. Keep one closer alive at a time.

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>

namespace tq3::test {

struct SeenModal final {
    QString text;   // a message box's text; MsgForm's visible lines joined by '\n'; else the title
    QString shown;  // "title|text" plus "|info" or "|stop"; MsgForm's lines joined by '/'; other windows: name
};

inline SeenModal readModal(QWidget *window)
{
    const QString title = window->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(window)) {
        const QMessageBox::Icon icon = box->icon();
        return {box->text(), title + u'|' + box->text()
                    + QLatin1String(icon == QMessageBox::Critical ? "|stop" : icon == QMessageBox::Information ? "|info" : "")};
    }
    QStringList lines;
    for (const char *line : {"Label2_0", "Label2_1"}) {
        if (auto *label = window->findChild<QLabel *>(QLatin1String(line)); label && label->isVisible())
            lines << label->text();
    }
    if (!lines.isEmpty())
        return {lines.join(u'\n'), title + u'|' + lines.join(u'/')};
    return {title, window->objectName().isEmpty() ? QString::fromLatin1(window->metaObject()->className()) : window->objectName()};
}

// The text of a window's control, or a note that it has none of that name.
inline QString textOf(const QWidget *window, const QString &name)
{
    const QWidget *control = window->findChild<QWidget *>(name);
    return control ? control->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
}

// Clicks a button (or a check box on its box) as an operator.
inline void click(QWidget *window, const char *name)
{
    auto *button = window->findChild<QAbstractButton *>(QLatin1String(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
}

// In a hook: chooses `folder` with the folder chooser's Italian button, or
// cancels the chooser when `folder` is empty; false for any other window. An
// English chooser is left to the closer, which cancels it.
inline bool chooseFolder(QWidget *modal, const QString &folder)
{
    auto *chooser = qobject_cast<QFileDialog *>(modal);
    if (!chooser || folder.isEmpty())
        return chooser && (chooser->reject(), true);
    chooser->setDirectory(folder);  // standing in a folder with nothing selected chooses it
    for (QAbstractButton *button : chooser->findChildren<QAbstractButton *>()) {
        if (button->text() == QLatin1String("S&cegli"))
            return button->click(), true;
    }
    return false;
}

class ModalCloser final : public QObject {
public:
    using Hook = std::function<bool(QWidget *)>;

    explicit ModalCloser(Hook hook = {})
        : m_hook(std::move(hook))
    {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->isModal())
                m_known.append({window, false});  // the test's own
        }
        m_clock.start();
        connect(&m_timer, &QTimer::timeout, this, &ModalCloser::look);
        m_timer.start(20);
    }

    QList<SeenModal> seen;

    QStringList boxes() const { return collect(&SeenModal::shown); }
    QStringList texts() const { return collect(&SeenModal::text); }

private:
    struct Known {
        QPointer<QWidget> window;
        bool closing;  // ours to close (not the test's, not the hook's)
        int looks = 0;
    };

    QStringList collect(QString SeenModal::*field) const
    {
        QStringList result;
        for (const SeenModal &modal : seen)
            result << modal.*field;
        return result;
    }

    // Answers are queued, so that the timer keeps looking while a hook or a
    // closing waits in a nested modal window.
    void look()
    {
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (m_clock.elapsed() > 15000)
            return void(modal->close());
        for (Known &known : m_known) {
            if (known.window == modal && known.closing && ++known.looks % 10 == 0)  // the click did not take
                answer(modal, known.looks > 50 ? Answer::Hide : Answer::Close);
            if (known.window == modal)
                return;
        }
        m_known.append({modal, false});
        seen.append(readModal(modal));
        answer(modal, Answer::HookFirst);
    }

    enum class Answer { HookFirst, Close, Hide };
    void answer(const QPointer<QWidget> &modal, Answer how)
    {
        QMetaObject::invokeMethod(this, [this, modal, how] {
            const auto gone = [&] { return !modal || !modal->isVisible(); };
            if (gone() || (how == Answer::HookFirst && m_hook && m_hook(modal)) || gone())
                return;
            for (Known &known : m_known)
                known.closing |= known.window == modal;
            if (how == Answer::Hide)
                return modal->hide();
            auto *box = qobject_cast<QMessageBox *>(modal.data());
            QAbstractButton *button = box ? box->button(QMessageBox::Ok)
                                          : modal->findChild<QAbstractButton *>(QStringLiteral("PB1_0"));
            if (button && button->isVisible() && button->isEnabled())
                QTest::mouseClick(button, Qt::LeftButton);
            else
                modal->close();
        }, Qt::QueuedConnection);
    }

    Hook m_hook;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QList<Known> m_known;
};

} // namespace tq3::test
