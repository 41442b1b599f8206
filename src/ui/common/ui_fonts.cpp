#include "ui/common/ui_fonts.h"
#include <QFontDatabase>
#include <QStringList>

QString UiFontFamily()
{
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const QString &candidate : {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")}) {
            if (installed.contains(candidate, Qt::CaseInsensitive))
                return candidate;
        }
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return family;
}

QFont UiFont(int pointSize, bool bold)
{
    QFont font(UiFontFamily(), pointSize);
    font.setBold(bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}
