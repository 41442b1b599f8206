#pragma once
// A finished calibration run at a glance: the as-found and as-left tables side by
// side, relative error against flow for both with the tolerance band, the
// coefficients before and after, the verdict, and what can be done with it.
#include "records/run_record.h"
#include <QWidget>

class TRunResultView : public QWidget
{
    Q_OBJECT
public:
    explicit TRunResultView(QWidget *parent = nullptr);

    // canRestore: the run wrote the meter and its before-run snapshot may be put back
    // ("Вернуть прежнюю калибровку" shown); false for a record opened from the history.
    void showRun(const RunRecord &run, bool canRestore);
    const RunRecord &run() const;

Q_SIGNALS:
    // "Открыть запись": the owner shows the record in the history window.
    void openRecordRequested(qint64 runId);
    // "Вернуть прежнюю калибровку": the owner restores snapshotBeforeId through the
    // restore engine, with its dialog.
    void restoreRequested(qint64 snapshotId);
};
