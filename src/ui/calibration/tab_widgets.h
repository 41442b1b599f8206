#pragma once
// The pieces every calibration tab is built of, so the tabs look and read alike:
// bold value boxes named for a screen reader, captions as buddies, the navy
// title, the red recalculation note, and live values with copy buttons.
#include <QString>
#include <initializer_list>
#include <vector>

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace TabWidgets {

inline constexpr const char *CopyHint = "Скопировать в буфер";
inline constexpr const char *RecalcNoteText =
    "* для того чтобы изменения вступили в силу - необходимо запустить процедуру пересчета коэффициентов!";

struct LiveRow
{
    const char *caption;
    const char *edit;
    const char *copy; // none: the row has no copy button
};

// A box the program fills shows the start of each text it is given.
QLineEdit *Box(QWidget *parent, const char *name, const QString &accessibleName, bool readOnly);
QLabel *Caption(QWidget *parent, const QString &text, QWidget *buddy = nullptr);
QPushButton *Button(QWidget *parent, const char *name, const QString &caption,
                    const QString &accessibleName = QString());
QLabel *Title(QWidget *parent, const QString &text);
// The widgets side by side, in a row of their own.
QHBoxLayout *Row(std::initializer_list<QWidget *> widgets);
QLabel *RecalcNote(QWidget *parent);
// Caption, box and copy button per row of the grid, from firstRow on.
void AddLiveRows(QWidget *parent, QGridLayout *grid, const std::vector<LiveRow> &rows,
                 std::vector<QLineEdit *> &boxes, std::vector<QToolButton *> &copies, bool readOnly = true,
                 int firstRow = 0);

} // namespace TabWidgets
