#pragma once
// Whether the reference's own calibration is still valid on the day of the run.
#include <QDate>
#include <QString>
#include <optional>

enum class ReferenceDueKind { InDate, DueSoon, Lapsed, Unknown };

// Days left at which a due date starts to be a warning.
inline constexpr int ReferenceDueSoonDays = 30;

struct ReferenceDue
{
    ReferenceDueKind kind = ReferenceDueKind::Unknown;
    std::optional<qint64> daysLeft; // negative once lapsed; none without a date
    QString message;                // for the run's page and log
};

// Lapsed once the due date is behind today; due soon with ≤ 30 days left (the due
// day itself included); unknown when either date is missing.
ReferenceDue ReferenceDueCheck(QDate due, QDate today);
