#pragma once

#include "core/store/Result.h"
#include "gui/kit/Form.h"

#include <QPixmap>
#include <QString>

#include <array>
#include <optional>

class QFrame;
class QLabel;
class QPushButton;

namespace tq3 {

// The program's own message window: one or two lines under a fixed title
// line, and one button that closes it.
class MsgForm final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "MsgForm";
    struct State final {
        // The two message lines as given; a line left out keeps its design text.
        std::array<QString, 2> lines;
    };

    MsgForm(WindowRegistry &registry, State &state);

    // Shows one or two lines modally; returns once the window is closed.
    // A line left out (a null QString) stays at its design text and is hidden.
    // The lines go to the log, with the detail of the `cause` they report.
    static void MostraMessaggio(WindowRegistry &registry, const QString &line0,
                                const QString &line1 = QString(), const std::optional<Error> &cause = std::nullopt);

    void activated() override;

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void hideLinesAtDesignText();

    State &m_state;
    QPixmap m_background;
    QLabel *m_label1 = nullptr;
    QFrame *m_line1 = nullptr;
    std::array<QLabel *, 2> m_label2{};
    QPushButton *m_pb1 = nullptr;
};

} // namespace tq3
