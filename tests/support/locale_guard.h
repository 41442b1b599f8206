#pragma once
#include <QLocale>

// Sets the default locale for the lifetime of a test and restores it afterwards.
class LocaleGuard
{
public:
    explicit LocaleGuard(const QLocale &locale) : m_saved(QLocale()) { QLocale::setDefault(locale); }
    ~LocaleGuard() { QLocale::setDefault(m_saved); }
    LocaleGuard(const LocaleGuard &) = delete;
    LocaleGuard &operator=(const LocaleGuard &) = delete;

    static QLocale comma() { return QLocale(QLocale::Russian, QLocale::Russia); }
    static QLocale point() { return QLocale(QLocale::English, QLocale::UnitedStates); }

private:
    QLocale m_saved;
};
