#pragma once
// One restore as the store remembers it: begun before its first write, ended
// when its report was made. One that never ended was cut short (the program was
// killed or the machine went down) and left the meter half written.
#include "records/calibration_areas.h"
#include <QDateTime>
#include <QList>

struct RestoreRecord
{
    qint64 id = 0;
    QDateTime startedUtc;
    qint64 targetId = 0;  // the snapshot being restored
    qint64 wayBackId = 0; // what the meter held before
    QList<CalibrationArea> areas;
    QDateTime finishedUtc; // invalid: never finished
    bool restored = false;
    QString outcome;

    bool isFinished() const { return finishedUtc.isValid(); }
};

// "Восстановление №3 от 10.12.2026 02:50 прервано: снимок №12 (Термометр, ...) записан не до конца;
// путь назад — снимок №11"
QString UnfinishedRestoreText(const RestoreRecord &record);
