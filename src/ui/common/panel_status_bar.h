#pragma once
// A status bar of fixed-width text panels, laid out left to right.
#include <QList>
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
    void setPanelText(int index, const QString &text);
    void setPanelAlignment(int index, Qt::Alignment alignment);
    // Shown when the mouse rests on the panel.
    QString panelToolTip(int index) const;
    void setPanelToolTip(int index, const QString &text);

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
        int width = 50;
        Qt::Alignment alignment = Qt::AlignLeft;
        QString toolTip;
    };
    bool valid(int index) const { return index >= 0 && index < panelCount(); }

    QList<Panel> m_panels;
};
