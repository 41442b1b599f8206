#pragma once
// The verification certificate as an A4 PDF: who, what and when, the meter's flow
// coefficients, the verification table exactly as the grid shows it with a verdict
// per row, the overall verdict, the flow chart and the signature lines; its number
// and "стр. 1 из 1" at the head, the laboratory where one is named, and an end mark.
#include "procedure/verification_table.h"
#include "records/run_record.h"
#include <QDateTime>
#include <QImage>
#include <QStringList>

struct CertificateData
{
    QString operatorName;
    QString serialNumber;
    QString customer;
    QString comment;
    double tolerancePercent = 0.2;
    QString programVersion;
    QString port;
    QDateTime when;
    QStringList coefficients; // A, B, C, D as the flow tab shows them
    QString qMax;
    QImage chart;
    QString number;              // unique per protocol issued
    CertificateParties parties;  // the laboratory and signatory; the customer is the one above
};

// A new protocol's number: "KL-V-" and a fresh UUID.
QString NewVerificationNumber();

// False, with the reason, when the file cannot be written.
bool WriteCertificatePdf(const QString &path, const CertificateData &data, const Verification::Cells &grid,
                         QString *error);
