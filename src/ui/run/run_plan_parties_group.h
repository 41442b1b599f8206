#pragma once
// The plan page's certificate parties: the laboratory, the customer and the signatory,
// remembered for the next run and the next window.
#include "procedure/calibration_run.h"
#include <QGroupBox>
#include <QList>

class QLineEdit;

class TRunPlanPartiesGroup : public QGroupBox
{
    Q_OBJECT
public:
    explicit TRunPlanPartiesGroup(QWidget *parent = nullptr);

    // The typed parties into options; false with the field named when its text may not
    // be kept (a control character).
    bool apply(RunOptions &options, QString *error);
    void recall();
    void remember() const;

    // In the order of CertificatePartyFields().
    QList<QLineEdit *> edits() const { return m_edits; }
    QLineEdit *Edit_Laboratory, *Edit_LaboratoryAddress, *Edit_Customer, *Edit_CustomerAddress, *Edit_Signatory,
        *Edit_SignatoryRole;

private:
    CertificateParties typed() const;
    QList<QLineEdit *> m_edits;
};
