#pragma once
// Before a restore: which areas to put back, and what would change in the meter.
#include "records/snapshot.h"
#include <QDialog>
#include <QMap>

class QCheckBox;
class QDialogButtonBox;
class QPlainTextEdit;

class TDialog_Restore : public QDialog
{
    Q_OBJECT
public:
    // meterNow: the meter's areas as just read.
    TDialog_Restore(const Snapshot &target, const Snapshot &meterNow, QWidget *parent = nullptr);
    QList<CalibrationArea> chosenAreas() const;

    QMap<CalibrationArea, QCheckBox *> CheckBoxes;
    QPlainTextEdit *Memo_Differences;
    QDialogButtonBox *Buttons;

private:
    void showDifferences();

    Snapshot m_target;
    Snapshot m_meterNow;
};
