#pragma once
// Tool bar of fixed-size image buttons, the way the windows of this program use it.
#include <QList>
#include <QToolButton>
#include <QWidget>

// A tool button whose image comes from the shared image list by index. A button
// with a caption shows it under a smaller image; one without shows the image only.
class TToolButton : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(int imageIndex READ imageIndex WRITE setImageIndex)
public:
    static constexpr int ButtonWidth = 70;
    static constexpr int ButtonHeight = 49;
    static constexpr int CaptionedImageSize = 30;
    // A caption gets this much of the button's width, at the largest font size
    // down to the smallest that fits; only then is it elided.
    static constexpr int CaptionRoom = ButtonWidth - 4;
    static constexpr qreal SmallestCaptionPointSize = 6.0;

    TToolButton(const QString &name, int imageIndex, QWidget *parent = nullptr);

    int imageIndex() const { return m_imageIndex; }
    void setImageIndex(int index);
    QString caption() const { return text(); }
    void setCaption(const QString &caption);
    QString hint() const { return toolTip(); }
    void setHint(const QString &hint);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fitCaption();

    int m_imageIndex = -1;
    bool m_fitting = false;
};

class TToolBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int BarHeight = 49;

    explicit TToolBar(const QString &name, QWidget *parent = nullptr);

    TToolButton *addButton(TToolButton *button);
    // A fixed gap between buttons.
    QWidget *addSeparator(const QString &name, int width);
    // A gap that takes the free width, pushing later buttons to the right edge.
    QWidget *addStretch(const QString &name);
    // Sizes a gap to the bar's width less every other item and 2 px, so that the
    // items after it end at the right edge. Windows call it on resize.
    void fitGap(QWidget *gap);
    // The width every item takes side by side.
    int itemsWidth() const;

Q_SIGNALS:
    void resized();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *add(QWidget *item);
    // Left to right at their own widths; what does not fit is cut off at the right edge.
    void placeItems();

    QList<QWidget *> m_items;
};
