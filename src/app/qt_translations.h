#pragma once
// Qt's own texts (file dialogs, standard buttons, the edit boxes' context menus)
// in Russian, like the rest of the program.
#include <QString>

// The catalogue loaded, without its suffix.
inline const QString QtRussianCatalogue = QStringLiteral("qtbase_ru");

// Installs Qt's Russian translations into the running application, once; later
// calls do nothing. False when the catalogue is not installed (Debian package
// qt6-translations-l10n); the program then runs with Qt's English texts.
bool InstallQtTranslations();
