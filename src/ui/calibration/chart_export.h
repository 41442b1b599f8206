#pragma once
// What every chart of the program carries in its corner: its own buttons in a row
// clear of the legend, then an "Экспорт" button that saves the points as CSV or the
// picture as PNG or PDF, in a file named after the chart's title.
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

class QCustomPlot;
class QToolButton;
class QWidget;

namespace ChartExport {

using Exporter = std::function<bool(const QString &path, QString *error)>;

// The CSV text (".csv") or the chart's picture (".png", ".pdf") to path; false with the reason.
bool Write(QCustomPlot &chart, const QString &path, const std::function<QString()> &csv, QString *error);
// "<title> <date> <time>.<suffix>", safe as a file name.
QString SuggestedFileName(const QString &title, const QDateTime &when, const QString &suffix);
// The chart's "Экспорт" button (object name: the chart's + "_Export"); its menu asks
// for a file in the save folder and hands it to exportTo; a failure is an error box.
QToolButton *CreateButton(QCustomPlot &chart, const std::function<QString()> &title, const Exporter &exportTo);
// Buttons in a row on the chart's top-left corner; the legend moves clear of them.
void PlaceCornerButtons(QCustomPlot &chart, const QList<QWidget *> &buttons);

// CSV pieces shared by the charts: ';' between fields, the locale's decimal mark,
// no group separators, a byte order mark first so spreadsheets read UTF-8.
QString CsvNumber(double value);
QString CsvText(const QStringList &header, const QList<QStringList> &rows);

} // namespace ChartExport
