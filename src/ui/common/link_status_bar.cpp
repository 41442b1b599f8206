#include "ui/common/link_status_bar.h"
#include "link/dm1.h"
#include "link/rx_tx_cnt.h"
#include "ui/common/panel_status_bar.h"

int CountersPanelWidth(const TPanelStatusBar &bar)
{
    // Both counts at five digits ("Tx:0  Rx:0  " with every 0 made 00000).
    const QString widest = TRxTxCnt().GetString().replace(QLatin1Char('0'), QStringLiteral("00000"));
    const int needed = bar.fontMetrics().horizontalAdvance(widest) + TPanelStatusBar::TextInset;
    return qMax(LinkStatusBar::CountersPanelWidth, needed);
}

void LayoutLinkStatusPanels(TPanelStatusBar &bar)
{
    const int width = bar.width();
    const int counters = CountersPanelWidth(bar);
    bar.setPanelWidth(1, counters);
    bar.setPanelWidth(0, width > counters ? width - counters : 0);
}

void ShowLinkStatus(TPanelStatusBar &bar, const TUSBWork &usb, const QString &note, const QString &elidable)
{
    const QString text = note.isEmpty() ? usb.FStatusString : usb.FStatusString + QStringLiteral(" · ") + note;
    bar.setPanelText(0, text, elidable);
    // A narrow window cuts the panel; its tool tip keeps the whole text.
    bar.setPanelToolTip(0, text.trimmed());
    bar.setPanelText(1, usb.CntRxTx.GetString());
}

void ShowLinkStatus(TPanelStatusBar &bar, const TDM_1 &dm, const QString &note, const QString &elidable)
{
    ShowLinkStatus(bar, dm.USBWork(), note, elidable);
    bar.setPanelToolTip(1, LinkHealthText(dm.health()));
}

QString LinkHealthText(const LinkHealth &h)
{
    const QString last = h.lastAnswerUtc.isValid()
                             ? h.lastAnswerUtc.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz"))
                             : QStringLiteral("не было");
    return QStringLiteral("Отправлено кадров: %1\nПринято ответов: %2\nОтброшено байтов: %3\n"
                          "Переподключений: %4\nПоследний ответ: %5")
        .arg(h.framesSent)
        .arg(h.answersAccepted)
        .arg(h.droppedBytes)
        .arg(h.reconnects)
        .arg(last);
}
