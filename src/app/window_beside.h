#pragma once
// Where a helper window stands beside another: to its right when it fits on the
// screen, else to its left, and always wholly inside the screen's work area.
#include <QPoint>
#include <QRect>
#include <QSize>

// anchor: the other window's frame; frame: the helper's frame size; area: the
// work area of the anchor's screen. Returns the helper frame's top-left corner.
QPoint PlaceBeside(const QRect &anchor, const QSize &frame, const QRect &area, int gap = 8);
