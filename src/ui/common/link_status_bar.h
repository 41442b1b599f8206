#pragma once
// The two panels every window's status bar shares: the link status text and
// the traffic counters.
#include <QString>

class TPanelStatusBar;
class TUSBWork;
struct LinkHealth;
class TDM_1;

namespace LinkStatusBar {
constexpr int CountersPanelWidth = 120;
}

// The counters panel's width: 120 px, more when the bar's font needs it for
// five-digit counts.
int CountersPanelWidth(const TPanelStatusBar &bar);
// Panel 1 keeps that width; panel 0 takes the rest of a wider bar, else nothing.
void LayoutLinkStatusPanels(TPanelStatusBar &bar);
// Panel 0 := the status text (and a note of the window's own after it, when
// there is one), panel 1 := the counters text. The note's elidable part (a file
// name) gives way in its middle when the panel is too narrow for all of it.
void ShowLinkStatus(TPanelStatusBar &bar, const TUSBWork &usb, const QString &note = QString(),
                    const QString &elidable = QString());
// The same, and the link's health as the counters panel's tool tip.
void ShowLinkStatus(TPanelStatusBar &bar, const TDM_1 &dm, const QString &note = QString(),
                    const QString &elidable = QString());
// The counters panel's tool tip: frames sent, answers, dropped bytes, reconnects, last answer.
QString LinkHealthText(const LinkHealth &health);
