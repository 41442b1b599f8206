#pragma once
// The result's metrology beside its tables: the largest budget as a table, the
// reference the points rest on and the zero at no flow. Hidden for a record without.
#include "records/run_record.h"
#include <QGroupBox>

class QLabel;
class QTableWidget;

class TRunMetrologyBox : public QGroupBox
{
    Q_OBJECT
public:
    explicit TRunMetrologyBox(QWidget *parent = nullptr);
    void showRun(const RunRecord &run);

    QLabel *Label_BudgetTitle;
    QTableWidget *Grid_Budget;
    QLabel *Label_BudgetSummary;
    QLabel *Label_Reference;
    QLabel *Label_ZeroCheck;
};
