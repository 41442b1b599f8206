#include "app/window_beside.h"
#include <algorithm>

QPoint PlaceBeside(const QRect &anchor, const QSize &frame, const QRect &area, int gap)
{
    int left = anchor.right() + 1 + gap;
    if (left + frame.width() - 1 > area.right()) {
        const int onTheLeft = anchor.left() - gap - frame.width();
        // Neither side has room: the right edge of the screen, over the anchor.
        left = onTheLeft >= area.left() ? onTheLeft : area.right() + 1 - frame.width();
    }
    // A frame larger than the screen keeps its title bar (top left) on it.
    left = std::max(area.left(), std::min(left, area.right() + 1 - frame.width()));
    const int top = std::max(area.top(), std::min(anchor.top(), area.bottom() + 1 - frame.height()));
    return {left, top};
}
