#pragma once
// The maker's data shown by the splash and About windows. Placeholders of the
// right kind until the maker gives its own: a reserved .example address, a
// telephone number of zeros, a city that says it is an example.
#include <QString>

namespace Maker {
inline const QString Company = QStringLiteral("ООО \"ВЕЛНОР\"");
inline const QString City = QStringLiteral("г. Образцов (пример)");
inline const QString Phone = QStringLiteral("+7 (000) 000-00-00");
inline const QString WebSite = QStringLiteral("https://velnor.example");
inline const QString ProductPage = QStringLiteral("https://velnor.example/kestro");
inline const QString RightsNotice = QStringLiteral("© 2026 ООО \"ВЕЛНОР\". Все права защищены.");
} // namespace Maker

// A picture of the maker's (":/images/...") as a pixmap of the given size,
// scaled proportionally.
class QIcon;
class QPixmap;
class QSize;
QPixmap MakerPicture(const QString &name, const QSize &size);
// The program's own icon, the one its desktop entry shows: the theme's when
// installed, else the copy built into the program.
QIcon ApplicationIcon();
