#include "ui/common/labeled_edit.h"
#include "ui/common/ui_fonts.h"
#include <QLabel>
#include <QLineEdit>

TLabeledEdit::TLabeledEdit(const QString &caption, QWidget *parent)
    : QWidget(parent), m_label(new QLabel(caption, this)), m_edit(new QLineEdit(this))
{
    m_label->setObjectName(QStringLiteral("EditLabel"));
    m_label->setFont(UiFont(CaptionPointSize));
    m_edit->setObjectName(QStringLiteral("Edit"));
    m_edit->setFont(UiFont(ValuePointSize, true));
    m_edit->setReadOnly(true);
    m_edit->setFixedHeight(EditHeight);
    m_label->setBuddy(m_edit);
}

QString TLabeledEdit::text() const
{
    return m_edit->text();
}

void TLabeledEdit::setText(const QString &text)
{
    m_edit->setText(text);
    m_edit->setCursorPosition(0);
}

QString TLabeledEdit::caption() const
{
    return m_label->text();
}

int TLabeledEdit::labelHeight() const
{
    return m_label->fontMetrics().height();
}

void TLabeledEdit::setEditGeometry(int left, int top, int width)
{
    const int captionHeight = labelHeight();
    const int labelWidth = qMax(width, m_label->sizeHint().width());
    setGeometry(left, top - captionHeight - LabelSpacing, labelWidth, captionHeight + LabelSpacing + EditHeight);
    m_label->setGeometry(0, 0, labelWidth, captionHeight);
    m_edit->setGeometry(0, captionHeight + LabelSpacing, width, EditHeight);
}

QRect TLabeledEdit::editGeometry() const
{
    return m_edit->geometry().translated(pos());
}
