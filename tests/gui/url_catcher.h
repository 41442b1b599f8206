#pragma once
// Takes the links the windows open instead of a browser.
#include <QDesktopServices>
#include <QObject>
#include <QStringList>
#include <QUrl>

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    QStringList opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened << url.toString(); }
};
