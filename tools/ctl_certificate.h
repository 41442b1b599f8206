#pragma once
// kestroctl and issued certificates: a stored run's DCC to a file, and a meter's latest
// certificate from the local store or, failing that, the plant's.
#include <QString>
#include <QTextStream>

class CtlPlant;
class TRecordStore;

// The run's DCC into file, whole or not at all.
int CtlWriteRunDcc(TRecordStore &store, const QString &idOrUuid, const QString &file, QTextStream &err);
// dccFile and pdfFile empty: the certificate's number, run, issue date and workstation on out.
int CtlShowCertificate(TRecordStore &local, CtlPlant &plant, const QString &serial, const QString &dccFile,
                       const QString &pdfFile, QTextStream &out, QTextStream &err);
