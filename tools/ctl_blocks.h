#pragma once
// The blocks the command-line tool can read, with exactly the requests the windows send.
#include <QList>
#include <QString>

struct CtlRequest
{
    bool params; // parameter space (SendReadParams) or data space (SendReadData)
    quint16 addr;
    quint16 count;
};

struct CtlBlock
{
    QString name;
    QList<CtlRequest> requests;
};

const QList<CtlBlock> &CtlBlocks();
const CtlBlock *FindCtlBlock(const QString &name);
QStringList CtlBlockNames();
