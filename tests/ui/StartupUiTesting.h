#pragma once

// Helpers for window tests: answer the modal windows that an action opens,
// as an operator would, without ever leaving a test hanging on one.

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace tq3::test {

// What a platform message box showed.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

inline SeenBox readBox(QWidget *widget)
{
    SeenBox seen;
    if (auto *box = qobject_cast<QMessageBox *>(widget)) {
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
    } else if (widget) {
        seen.title = widget->windowTitle();
    }
    return seen;
}

// Closes a message box with its OK button, any other window with close().
inline void answer(QWidget *widget)
{
    if (auto *box = qobject_cast<QMessageBox *>(widget)) {
        if (QAbstractButton *ok = box->button(QMessageBox::Ok)) {
            QTest::mouseClick(ok, Qt::LeftButton);
            return;
        }
    }
    widget->close();
}

// Waits (polling, at most ~5 s) for a modal window other than `notThis` to
// be on screen, then hands it to `handler`, which must close it. Should none
// appear in time, `*timedOut` is set; should the handler leave it open, it
// is closed after the same time so that the test never hangs.
inline void onNextModal(std::function<void(QWidget *)> handler, QWidget *notThis = nullptr,
                        std::shared_ptr<bool> timedOut = {})
{
    auto tries = std::make_shared<int>(500);
    QPointer<QWidget> skip = notThis;
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && modal != skip.data()) {
            QPointer<QWidget> seen = modal;
            handler(modal);
            // A handler that did not close it: close it a little later.
            QTimer::singleShot(5000, [seen] {
                if (seen && seen->isVisible())
                    seen->close();
            });
            return;
        }
        if (--*tries <= 0) {
            if (timedOut)
                *timedOut = true;
            return;
        }
        QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
}

// Answers every modal window that comes up while it lives, as an operator
// would: `handler` (which must close the window) or, by default, OK for a
// message box and close() for any other window. Records what it saw. After
// `timeoutMs` it stops, closing whatever modal window is still up, so that
// a test never hangs.
class ModalAnswerer final : public QObject {
public:
    using Handler = std::function<void(QWidget *)>;

    explicit ModalAnswerer(Handler handler = {}, int timeoutMs = 15000)
        : m_handler(std::move(handler))
        , m_timeoutMs(timeoutMs)
    {
        m_clock.start();
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
        m_timer.start();
    }

    QList<SeenBox> seen;  // every modal window, in order
    QStringList names;    // their object names (class name when unnamed)

    bool sawNothing() const { return seen.isEmpty(); }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (m_clock.elapsed() > m_timeoutMs) {
            m_timer.stop();
            if (modal)
                modal->close();
            return;
        }
        if (!modal || !modal->isVisible())
            return;
        for (const QPointer<QWidget> &done : std::as_const(m_handled)) {
            if (done.data() == modal)
                return;
        }
        m_handled.append(modal);
        seen.append(readBox(modal));
        names.append(modal->objectName().isEmpty() ? QString::fromLatin1(modal->metaObject()->className())
                                                   : modal->objectName());
        if (m_handler)
            m_handler(modal);
        else
            answer(modal);
    }

    Handler m_handler;
    int m_timeoutMs;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QList<QPointer<QWidget>> m_handled;
};

template <class T>
T *child(QWidget *parent, const QString &name)
{
    return parent ? parent->findChild<T *>(name) : nullptr;
}

} // namespace tq3::test
