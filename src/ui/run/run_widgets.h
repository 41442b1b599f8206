#pragma once
// What the run window's pages build their controls and read their numbers with.
#include <QString>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidgetItem;
class QWidget;

namespace RunWidgets {

QLabel *Label(const char *name, QWidget *parent);
QLineEdit *Edit(const char *name, const QString &accessible, QWidget *parent);
QPushButton *Button(const char *name, const QString &text, QWidget *parent);
QTableWidgetItem *ReadOnlyItem(const QString &text);
// Both decimal marks are taken, whatever the locale.
std::optional<double> ParseNumber(const QString &text);
// A number to be edited: the locale's decimal mark, no group separator, as many places as it has.
QString EditableNumber(double value);

} // namespace RunWidgets
