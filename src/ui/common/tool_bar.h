#pragma once
// Tool bar of fixed-size image buttons, the way the windows of this program use it.
#include <QToolButton>
#include <QWidget>

class QHBoxLayout;

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

    TToolButton(const QString &name, int imageIndex, QWidget *parent = nullptr);

    int imageIndex() const { return m_imageIndex; }
    void setImageIndex(int index);
    QString caption() const { return text(); }
    void setCaption(const QString &caption);
    QString hint() const { return toolTip(); }
    void setHint(const QString &hint);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_imageIndex = -1;
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

Q_SIGNALS:
    void resized();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QHBoxLayout *m_layout;
};
