#pragma once
// The calibration certificate of a run as a PDF: who issues it and for whom, the
// meter, the method, the reference, the conditions, the as-found and as-left points
// with their uncertainty and verdicts under the run's decision rule, the adjustment
// between them, the error plot and the signature; its number and "стр. N из M" on
// every page. Drawn with a plain painter: the window and the command line both draw it.
#include "records/run_record.h"
#include "report/certificate_layout.h"
#include <QByteArray>
#include <QDate>
#include <QString>

namespace RunCertificate {

// The items and the pages they fall on, measured as the PDF draws them.
struct Layout
{
    QList<CertificateLayout::Item> items;
    QList<QList<int>> pages;
};
Layout Lay(const RunRecord &run, const QDate &issued = QDate::currentDate());

// The PDF's bytes; empty, with the reason, where it could not be drawn.
QByteArray Pdf(const RunRecord &run, QString *error, const QDate &issued = QDate::currentDate());
// Written whole or not at all (FileOutput); false with the reason.
bool Write(const RunRecord &run, const QString &path, QString *error);

} // namespace RunCertificate
