#pragma once
// kestroctl and the plant's records: upload what waits, push everything, the meters
// by serial, and the store that serial queries read.
#include "records/record_store.h"
#include <QTextStream>
#include <memory>

class CtlPlant
{
public:
    // plantUrl empty: no plant; every command stays on the local store.
    CtlPlant(const QString &localLocation, const QString &plantUrl, QTextStream &out, QTextStream &err);

    bool enabled() const { return !m_plantUrl.isEmpty(); }
    // records sync / records push: Done when nothing waits any more.
    int sync(bool pushAll);
    // After a command stored records: send them now; when the server does not take
    // them they wait, and standard error says so. Never changes the command's result.
    void uploadWritten();
    int meters(const QString &serial);
    // The plant's store, opened, for a query by serial; null with the message written
    // (exit code in *code) when it cannot be reached.
    TRecordStore *plantStore(int *code);

private:
    // One pass of the sync; true when everything went. *waiting: what still waits.
    bool pass(bool pushAll, int *waiting, QString *error);

    QString m_localLocation;
    QString m_plantUrl;
    QTextStream &m_out;
    QTextStream &m_err;
    std::unique_ptr<TRecordStore> m_plant;
};
