#include "ui/common/link_status_bar.h"
#include "link/rx_tx_cnt.h"
#include "ui/common/panel_status_bar.h"

void LayoutLinkStatusPanels(TPanelStatusBar &bar)
{
    using LinkStatusBar::CountersPanelWidth;
    const int width = bar.width();
    bar.setPanelWidth(1, CountersPanelWidth);
    bar.setPanelWidth(0, width > CountersPanelWidth ? width - CountersPanelWidth : 0);
}

void ShowLinkStatus(TPanelStatusBar &bar, const TUSBWork &usb, const QString &note)
{
    bar.setPanelText(0, note.isEmpty() ? usb.FStatusString : usb.FStatusString + QStringLiteral(" · ") + note);
    bar.setPanelText(1, usb.CntRxTx.GetString());
}
