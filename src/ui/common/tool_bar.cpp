#include "ui/common/tool_bar.h"
#include "ui/common/tool_images.h"
#include <QHBoxLayout>
#include <QStyleOptionToolButton>
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
    painter.drawText(captionRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, text());
}

TToolBar::TToolBar(const QString &name, QWidget *parent) : QWidget(parent), m_layout(new QHBoxLayout(this))
{
    setObjectName(name);
    setFixedHeight(BarHeight);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addStretch(1);
}

TToolButton *TToolBar::addButton(TToolButton *button)
{
    button->setParent(this);
    m_layout->insertWidget(m_layout->count() - 1, button);
    return button;
}

QWidget *TToolBar::addSeparator(const QString &name, int width)
{
    auto *gap = new QWidget(this);
    gap->setObjectName(name);
    gap->setFixedSize(width, BarHeight);
    m_layout->insertWidget(m_layout->count() - 1, gap);
    return gap;
}

QWidget *TToolBar::addStretch(const QString &name)
{
    auto *gap = new QWidget(this);
    gap->setObjectName(name);
    gap->setEnabled(false);
    gap->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_layout->insertWidget(m_layout->count() - 1, gap, 1);
    return gap;
}

void TToolBar::fitGap(QWidget *gap)
{
    int others = 0;
    for (int i = 0; i < m_layout->count(); ++i) {
        QWidget *item = m_layout->itemAt(i)->widget();
        if (item && item != gap)
            others += item->width();
    }
    gap->setFixedWidth(qMax(0, width() - others - 2));
}

void TToolBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Q_EMIT resized();
}
