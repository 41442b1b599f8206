#pragma once
// The plan page's reference instrument: its name, certificate and due date, and the
// expanded uncertainty its certificate states with k and ν. A due date behind the day
// refuses the start; one within the warning days is said here and does not.
#include "procedure/calibration_run.h"
#include <QDate>
#include <QGroupBox>

class QDateEdit;
class QLabel;
class QLineEdit;

class TRunPlanReferenceGroup : public QGroupBox
{
    Q_OBJECT
public:
    explicit TRunPlanReferenceGroup(QWidget *parent = nullptr);

    // The typed reference into options; false with the reason (a bad field named and
    // marked, or the lapsed due date's message).
    bool apply(RunOptions &options, QString *error, QDate today = QDate::currentDate());
    void recall();
    void remember() const;

    QLineEdit *Edit_RefName, *Edit_RefCertificate;
    QDateEdit *Date_RefDue;
    QLineEdit *Edit_RefUncertainty, *Edit_RefCoverage, *Edit_RefDof;
    // The due date's warning: shown while it is near or past.
    QLabel *Label_RefDue;

private:
    void showDue();
};
