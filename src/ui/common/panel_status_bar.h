#pragma once
// A status bar of fixed-width text panels, laid out left to right.
#include <QList>
#include <QFontMetrics>
#include <QWidget>

class TPanelStatusBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int DefaultHeight = 19;

    explicit TPanelStatusBar(int panelCount, QWidget *parent = nullptr);

    int panelCount() const { return int(m_panels.size()); }
    int panelWidth(int index) const;
    void setPanelWidth(int index, int width);
    QString panelText(int index) const;
    // elidable: a part of text that gives way, elided in its middle, when the whole
    // text does not fit the panel (a file name, say); the rest stays readable.
    void setPanelText(int index, const QString &text, const QString &elidable = QString());
    // The text as drawn at the panel's present width.
    QString panelShownText(int index) const;
    void setPanelAlignment(int index, Qt::Alignment alignment);
    // Shown when the mouse rests on the panel.
    QString panelToolTip(int index) const;
    void setPanelToolTip(int index, const QString &text);

    // Room the frame and the margins take from a panel's width.
    static constexpr int TextInset = 9;
    // The text that fits width pixels: whole, else with elidable elided in its
    // middle, else elided in its own middle.
    static QString FitText(const QFontMetrics &metrics, const QString &text, const QString &elidable, int width);

    // Panel rectangle in bar coordinates: left = widths of the panels before it,
    // full bar height. Empty for an index out of range.
    QRect GetPanelRect(int index) const;
    // The panel under a point in bar coordinates, or -1.
    int panelAt(const QPoint &pos) const;

Q_SIGNALS:
    void mouseDown(Qt::MouseButton button, const QPoint &pos);
    void resized();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Panel
    {
        QString text;
        QString elidable;
        int width = 50;
        Qt::Alignment alignment = Qt::AlignLeft;
        QString toolTip;
    };
    bool valid(int index) const { return index >= 0 && index < panelCount(); }

    QList<Panel> m_panels;
};
