#pragma once

#include "store/Clock.h"

namespace tq3::test {

// A clock the test sets by hand.
class AutomaticClock final : public Clock {
public:
    explicit AutomaticClock(QDateTime start = QDateTime(QDate(2026, 12, 5), QTime(14, 5)))
        : m_now(std::move(start))
    {
    }
    QDateTime now() const override { return m_now; }
    void set(QDateTime value) { m_now = std::move(value); }
    void setTime(QTime time) { m_now.setTime(time); }

private:
    QDateTime m_now;
};

} // namespace tq3::test
