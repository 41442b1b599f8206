#include "records/record_text.h"

QString RecordTextProblem(const QString &field, const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).category() == QChar::Other_Control)
            return QStringLiteral("%1: управляющий символ U+%2 на месте %3 не принимается")
                .arg(field)
                .arg(text.at(i).unicode(), 4, 16, QLatin1Char('0'))
                .arg(i + 1);
    }
    return {};
}
