#pragma once
// The result's thermometer and zero by temperature: each adjustment before and as
// written, and its check points with their verdicts. Hidden for a run without them.
#include "records/run_record.h"
#include <QGroupBox>

class QBoxLayout;

class TRunAdjustmentBox : public QGroupBox
{
    Q_OBJECT
public:
    explicit TRunAdjustmentBox(QWidget *parent = nullptr);
    void showRun(const RunRecord &run);

private:
    QBoxLayout *m_layout;
};
