#include "app/qt_translations.h"
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool InstallQtTranslations()
{
    auto *app = QCoreApplication::instance();
    if (!app)
        return false;
    // The translator lives as long as the application; a second call finds it.
    if (app->findChild<QTranslator *>(QtRussianCatalogue, Qt::FindDirectChildrenOnly))
        return true;
    auto *translator = new QTranslator(app);
    translator->setObjectName(QtRussianCatalogue);
    if (!translator->load(QtRussianCatalogue, QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}
