#pragma once
// The layout the thermometer and zero tabs share: on the left a 409 px panel with
// the coefficients, the two points, read/save, the recalculation note, the live
// values with their copy buttons and start/stop; the chart fills the rest.
// A tab names its controls; the layout is built from the names alone.
#include "ui/calibration/tab_widgets.h"
#include <vector>

class QGridLayout;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;
class TLiveChart;

struct CalibTabNames
{
    const char *title;
    const char *columnT, *columnX; // headings of the point grid
    const char *row1, *row2;       // captions of the two points
    const char *editA, *editB;
    const char *edit1T, *edit1X, *edit2T, *edit2X;
    const char *read, *save;
    std::vector<TabWidgets::LiveRow> live;
    const char *start, *stop;
    const char *chart, *reset;
};

struct CalibTabWidgets
{
    QLineEdit *a, *b;
    QLineEdit *p1T, *p1X, *p2T, *p2X;
    QPushButton *read, *save;
    std::vector<QLineEdit *> live;
    std::vector<QToolButton *> copy;
    QGridLayout *liveGrid; // live row n at grid row n; column 3 is free
    QPushButton *start, *stop;
    TLiveChart *chart;
    QPushButton *reset;
};

namespace CalibTab {
constexpr int PanelWidth = 409;
} // namespace CalibTab

CalibTabWidgets BuildCalibTab(QWidget *tab, const CalibTabNames &names);
