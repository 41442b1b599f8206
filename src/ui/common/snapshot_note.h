#pragma once
// What a window's status bar says after the link status while the last snapshot
// before a write could not be kept; nothing once one is kept again.
#include <QObject>
#include <QString>

class TCalibrationRecords;

class TSnapshotNote : public QObject
{
    Q_OBJECT
public:
    TSnapshotNote(TCalibrationRecords &records, QObject *parent);
    QString text() const { return m_text; }

private:
    QString m_text;
};
