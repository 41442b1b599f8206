#pragma once
// The verification certificate as an A4 PDF: who, what and when, the meter's flow
// coefficients, the verification table exactly as the grid shows it with a verdict
// per row, the overall verdict, the flow chart and the signature lines.
#include "procedure/verification_table.h"
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
};

// False, with the reason, when the file cannot be written.
bool WriteCertificatePdf(const QString &path, const CertificateData &data, const Verification::Cells &grid,
                         QString *error);
