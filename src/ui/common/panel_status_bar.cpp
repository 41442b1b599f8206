#include "ui/common/panel_status_bar.h"
#include <QHelpEvent>
#include <QToolTip>
#include <QMouseEvent>
#include <QPainter>

TPanelStatusBar::TPanelStatusBar(int panelCount, QWidget *parent) : QWidget(parent)
{
    m_panels.resize(qMax(0, panelCount));
    setFixedHeight(DefaultHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

int TPanelStatusBar::panelWidth(int index) const
{
    return valid(index) ? m_panels[index].width : 0;
}

void TPanelStatusBar::setPanelWidth(int index, int width)
{
    if (!valid(index) || m_panels[index].width == width)
        return;
    m_panels[index].width = qMax(0, width);
    update();
}

QString TPanelStatusBar::panelText(int index) const
{
    return valid(index) ? m_panels[index].text : QString();
}

void TPanelStatusBar::setPanelText(int index, const QString &text, const QString &elidable)
{
    if (!valid(index) || (m_panels[index].text == text && m_panels[index].elidable == elidable))
        return;
    m_panels[index].text = text;
    m_panels[index].elidable = text.contains(elidable) ? elidable : QString();
    update(GetPanelRect(index));
}

QString TPanelStatusBar::panelShownText(int index) const
{
    if (!valid(index))
        return {};
    return FitText(fontMetrics(), m_panels[index].text, m_panels[index].elidable, m_panels[index].width - TextInset);
}

QString TPanelStatusBar::FitText(const QFontMetrics &metrics, const QString &text, const QString &elidable, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const qsizetype at = elidable.isEmpty() ? -1 : text.lastIndexOf(elidable);
    if (at >= 0) {
        const QString before = text.left(at), after = text.mid(at + elidable.size());
        const int room = width - metrics.horizontalAdvance(before) - metrics.horizontalAdvance(after);
        const QString part = metrics.elidedText(elidable, Qt::ElideMiddle, room);
        // Less than a few letters of it say nothing: then the whole text gives way in its middle.
        if (part.size() >= 5)
            return before + part + after;
    }
    return metrics.elidedText(text, Qt::ElideMiddle, width);
}

void TPanelStatusBar::setPanelAlignment(int index, Qt::Alignment alignment)
{
    if (!valid(index))
        return;
    m_panels[index].alignment = alignment;
    update();
}

QRect TPanelStatusBar::GetPanelRect(int index) const
{
    if (!valid(index))
        return {};
    int left = 0;
    for (int i = 0; i < index; ++i)
        left += m_panels[i].width;
    return QRect(left, 0, m_panels[index].width, height());
}

int TPanelStatusBar::panelAt(const QPoint &pos) const
{
    for (int i = 0; i < panelCount(); ++i) {
        if (GetPanelRect(i).contains(pos))
            return i;
    }
    return -1;
}

void TPanelStatusBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPalette pal = palette();
    p.fillRect(rect(), pal.window());
    p.setPen(pal.color(QPalette::Mid));
    p.drawLine(0, 0, width(), 0);
    for (int i = 0; i < panelCount(); ++i) {
        const QRect r = GetPanelRect(i);
        if (r.width() <= 0)
            continue;
        const QRect frame = r.adjusted(1, 2, -2, -1);
        p.setPen(pal.color(QPalette::Mid));
        p.drawLine(frame.right() + 1, frame.top(), frame.right() + 1, frame.bottom());
        p.setPen(pal.color(QPalette::WindowText));
        p.setClipRect(frame);
        p.drawText(frame.adjusted(3, 0, -3, 0), int(m_panels[i].alignment | Qt::AlignVCenter) | Qt::TextSingleLine,
                   panelShownText(i));
        p.setClipping(false);
    }
}

void TPanelStatusBar::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT mouseDown(event->button(), event->position().toPoint());
    QWidget::mousePressEvent(event);
}

void TPanelStatusBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Q_EMIT resized();
}

QString TPanelStatusBar::panelToolTip(int index) const
{
    return valid(index) ? m_panels[index].toolTip : QString();
}

void TPanelStatusBar::setPanelToolTip(int index, const QString &text)
{
    if (valid(index))
        m_panels[index].toolTip = text;
}

bool TPanelStatusBar::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = panelToolTip(panelAt(help->pos()));
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this, GetPanelRect(panelAt(help->pos())));
        return true;
    }
    return QWidget::event(event);
}
