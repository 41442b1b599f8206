#include "ui/common/tool_bar.h"
#include "ui/common/tool_images.h"
#include <QEvent>
#include <QStyleOptionToolButton>
#include <QScopedValueRollback>
#include <QStylePainter>

TToolButton::TToolButton(const QString &name, int imageIndex, QWidget *parent) : QToolButton(parent)
{
    setObjectName(name);
    setAutoRaise(true);
    setFixedSize(ButtonWidth, ButtonHeight);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIconSize(QSize(ToolImages::Size, ToolImages::Size));
    setImageIndex(imageIndex);
}

void TToolButton::setImageIndex(int index)
{
    m_imageIndex = index;
    setIcon(ToolImage(index));
}

void TToolButton::setCaption(const QString &caption)
{
    setText(caption);
    if (caption.isEmpty()) {
        setToolButtonStyle(Qt::ToolButtonIconOnly);
        setIconSize(QSize(ToolImages::Size, ToolImages::Size));
    } else {
        setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        setIconSize(QSize(CaptionedImageSize, CaptionedImageSize));
    }
    fitCaption();
}

void TToolButton::fitCaption()
{
    // Starts from the window's font each time, so a longer caption never inherits
    // a size chosen for a shorter one.
    const QScopedValueRollback<bool> busy(m_fitting, true);
    setFont(QFont());
    QFont fitted = font();
    while (QFontMetrics(fitted).horizontalAdvance(text()) > CaptionRoom
           && fitted.pointSizeF() - 0.5 >= SmallestCaptionPointSize)
        fitted.setPointSizeF(fitted.pointSizeF() - 0.5);
    setFont(fitted);
}

void TToolButton::changeEvent(QEvent *event)
{
    QToolButton::changeEvent(event);
    if (event->type() == QEvent::FontChange && !m_fitting && !text().isEmpty())
        fitCaption();
}

void TToolButton::setHint(const QString &hint)
{
    setToolTip(hint);
    setAccessibleName(hint.isEmpty() ? text() : hint);
}

void TToolButton::paintEvent(QPaintEvent *event)
{
    if (text().isEmpty()) {
        QToolButton::paintEvent(event);
        return;
    }
    // The style's label would elide a caption that fills the narrow button;
    // the image and the whole caption are drawn here over the style's panel.
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);

    const QSize image = iconSize();
    const QRect imageRect((width() - image.width()) / 2, 3, image.width(), image.height());
    const QIcon::Mode mode =
        !isEnabled() ? QIcon::Disabled : (option.state & QStyle::State_MouseOver ? QIcon::Active : QIcon::Normal);
    icon().paint(&painter, imageRect, Qt::AlignCenter, mode);
    const QRect captionRect(0, imageRect.bottom() + 1, width(), height() - imageRect.bottom() - 1);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const QString caption = fontMetrics().elidedText(text(), Qt::ElideRight, CaptionRoom);
    painter.drawText(captionRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, caption);
}

TToolBar::TToolBar(const QString &name, QWidget *parent) : QWidget(parent)
{
    setObjectName(name);
    setFixedHeight(BarHeight);
}

QWidget *TToolBar::add(QWidget *item)
{
    item->setParent(this);
    m_items.append(item);
    placeItems();
    return item;
}

TToolButton *TToolBar::addButton(TToolButton *button)
{
    add(button);
    return button;
}

QWidget *TToolBar::addSeparator(const QString &name, int width)
{
    auto *gap = new QWidget(this);
    gap->setObjectName(name);
    gap->setFixedSize(width, BarHeight);
    return add(gap);
}

QWidget *TToolBar::addStretch(const QString &name)
{
    auto *gap = new QWidget(this);
    gap->setObjectName(name);
    gap->setEnabled(false);
    gap->setFixedSize(0, BarHeight);
    return add(gap);
}

void TToolBar::fitGap(QWidget *gap)
{
    int others = 0;
    for (const QWidget *item : m_items) {
        if (item != gap)
            others += item->width();
    }
    gap->setFixedWidth(qMax(0, width() - others - 2));
    placeItems();
}

int TToolBar::itemsWidth() const
{
    int total = 0;
    for (const QWidget *item : m_items)
        total += item->width();
    return total;
}

void TToolBar::placeItems()
{
    int left = 0;
    for (QWidget *item : m_items) {
        item->move(left, 0);
        left += item->width();
    }
}

void TToolBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeItems();
    Q_EMIT resized();
}
