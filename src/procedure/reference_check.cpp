#include "procedure/reference_check.h"

ReferenceDue ReferenceDueCheck(QDate due, QDate today)
{
    if (!due.isValid() || !today.isValid())
        return ReferenceDue{ReferenceDueKind::Unknown, std::nullopt,
                            QStringLiteral("Срок поверки эталона не указан")};
    const qint64 left = today.daysTo(due);
    const QString date = due.toString(QStringLiteral("dd.MM.yyyy"));
    if (left < 0)
        return ReferenceDue{ReferenceDueKind::Lapsed, left,
                            QStringLiteral("Срок поверки эталона истёк %1 (%2 дн. назад): укажите эталон с "
                                           "действующей поверкой")
                                .arg(date)
                                .arg(-left)};
    if (left == 0)
        return ReferenceDue{ReferenceDueKind::DueSoon, left,
                            QStringLiteral("Срок поверки эталона истекает сегодня, %1").arg(date)};
    if (left <= ReferenceDueSoonDays)
        return ReferenceDue{ReferenceDueKind::DueSoon, left,
                            QStringLiteral("Срок поверки эталона истекает %1: осталось %2 дн.").arg(date).arg(left)};
    return ReferenceDue{ReferenceDueKind::InDate, left,
                        QStringLiteral("Поверка эталона действительна до %1 (осталось %2 дн.)").arg(date).arg(left)};
}
