#include "gui/windows/SecondScreenPlacement.h"

#include <algorithm>
#include <cstdlib>

namespace tq3 {

namespace {

int verticalOverlap(const QRect &a, const QRect &b)
{
    return std::max(0, std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) + 1);
}

// Closer to the primary's right edge first, then the one sharing more of its
// height, then the one whose top is nearer.
bool nearer(const QRect &candidate, const QRect &best, const QRect &primary)
{
    if (candidate.left() != best.left())
        return candidate.left() < best.left();
    const int overlapCandidate = verticalOverlap(candidate, primary);
    const int overlapBest = verticalOverlap(best, primary);
    if (overlapCandidate != overlapBest)
        return overlapCandidate > overlapBest;
    return std::abs(candidate.top() - primary.top()) < std::abs(best.top() - primary.top());
}

} // namespace

QRect secondScreenPlacement(const QList<QRect> &monitors, qsizetype primaryIndex,
                            int offScreenGap)
{
    if (monitors.isEmpty())
        return {};
    if (primaryIndex < 0 || primaryIndex >= monitors.size())
        primaryIndex = 0;
    const QRect primary = monitors.at(primaryIndex);
    const int beyondPrimary = primary.left() + primary.width();

    const QRect *found = nullptr;
    for (qsizetype i = 0; i < monitors.size(); ++i) {
        const QRect &monitor = monitors.at(i);
        if (i == primaryIndex || monitor.isEmpty() || monitor.left() < beyondPrimary)
            continue;
        if (!found || nearer(monitor, *found, primary))
            found = &monitor;
    }
    if (found)
        return *found;
    return {beyondPrimary + std::max(0, offScreenGap), primary.top(), primary.width(),
            primary.height()};
}

} // namespace tq3
