#pragma once
// A read-only value box with its caption above it. The window places the box
// (not the caption) at its left, top and width; the caption sits just above.
#include <QWidget>

class QLabel;
class QLineEdit;

class TLabeledEdit : public QWidget
{
    Q_OBJECT
public:
    static constexpr int EditHeight = 31;
    static constexpr int LabelSpacing = 3;
    static constexpr int CaptionPointSize = 10;
    static constexpr int ValuePointSize = 14;

    explicit TLabeledEdit(const QString &caption, QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);
    QString caption() const;

    // Puts the value box at left, top with this width, in parent coordinates.
    void setEditGeometry(int left, int top, int width);
    // The value box in parent coordinates.
    QRect editGeometry() const;

    QLabel *label() const { return m_label; }
    QLineEdit *edit() const { return m_edit; }

private:
    int labelHeight() const;

    QLabel *m_label;
    QLineEdit *m_edit;
};
