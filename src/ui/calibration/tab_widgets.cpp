#include "ui/calibration/tab_widgets.h"
#include "ui/common/tool_images.h"
#include "ui/common/ui_fonts.h"
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace TabWidgets {

namespace {
constexpr int BoxPointSize = 10;
}

QLineEdit *Box(QWidget *parent, const char *name, const QString &accessibleName, bool readOnly)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromUtf8(name));
    edit->setFont(UiFont(BoxPointSize, true));
    edit->setReadOnly(readOnly);
    edit->setAccessibleName(accessibleName);
    // Whatever the program fills in shows its start: a minus sign scrolled out of
    // a narrow box made negative values look positive. A fill leaves the cursor at
    // the end and clears the modified mark; the engineer's own typing and cursor
    // moves (modified, or in the focused box) are left alone.
    const auto showStart = [edit] {
        if (!edit->hasFocus() && !edit->isModified() && edit->cursorPosition() != 0)
            edit->setCursorPosition(0);
    };
    QObject::connect(edit, &QLineEdit::textChanged, edit, showStart);
    QObject::connect(edit, &QLineEdit::cursorPositionChanged, edit, showStart);
    return edit;
}

QLabel *Caption(QWidget *parent, const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text, parent);
    if (buddy)
        label->setBuddy(buddy);
    return label;
}

QPushButton *Button(QWidget *parent, const char *name, const QString &caption, const QString &accessibleName)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromUtf8(name));
    if (!accessibleName.isEmpty())
        button->setAccessibleName(accessibleName);
    return button;
}

QLabel *Title(QWidget *parent, const QString &text)
{
    auto *title = new QLabel(text, parent);
    title->setAlignment(Qt::AlignCenter);
    title->setWordWrap(true);
    title->setFont(UiFont(10, true));
    title->setStyleSheet(QStringLiteral("color: navy;"));
    return title;
}

QHBoxLayout *Row(std::initializer_list<QWidget *> widgets)
{
    auto *row = new QHBoxLayout;
    for (QWidget *w : widgets)
        row->addWidget(w);
    return row;
}

QLabel *RecalcNote(QWidget *parent)
{
    auto *note = new QLabel(QString::fromUtf8(RecalcNoteText), parent);
    note->setWordWrap(true);
    QFont font = note->font();
    font.setItalic(true);
    note->setFont(font);
    note->setStyleSheet(QStringLiteral("color: red;"));
    return note;
}

void AddLiveRows(QWidget *parent, QGridLayout *grid, const std::vector<LiveRow> &rows,
                 std::vector<QLineEdit *> &boxes, std::vector<QToolButton *> &copies, bool readOnly, int firstRow)
{
    int row = firstRow;
    for (const LiveRow &r : rows) {
        const QString caption = QString::fromUtf8(r.caption);
        QLineEdit *edit = Box(parent, r.edit, caption, readOnly);
        grid->addWidget(Caption(parent, caption, edit), row, 0);
        grid->addWidget(edit, row, 1);
        boxes.push_back(edit);
        ++row;
        if (!r.copy) {
            copies.push_back(nullptr);
            continue;
        }
        auto *copy = new QToolButton(parent);
        copy->setObjectName(QString::fromUtf8(r.copy));
        copy->setIcon(ToolImage(ToolImages::Copy));
        copy->setToolTip(QString::fromUtf8(CopyHint));
        copy->setAccessibleName(QString::fromUtf8(CopyHint) + QStringLiteral(": ") + caption);
        const int side = edit->sizeHint().height();
        copy->setFixedSize(side, side);
        grid->addWidget(copy, row - 1, 2);
        copies.push_back(copy);
    }
}

} // namespace TabWidgets
