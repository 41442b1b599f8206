#include "app/maker_info.h"
#include <QIcon>
#include <QPixmap>

static void initImageResources()
{
    // The pictures live in a static library; its resources are registered by hand.
    Q_INIT_RESOURCE(kestro_images);
}

QPixmap MakerPicture(const QString &name, const QSize &size)
{
    static const bool registered = (initImageResources(), true);
    Q_UNUSED(registered);
    const QIcon picture(QStringLiteral(":/images/%1.svg").arg(name));
    return picture.pixmap(picture.actualSize(size));
}

QIcon ApplicationIcon()
{
    static const bool registered = (initImageResources(), true);
    Q_UNUSED(registered);
    return QIcon::fromTheme(QStringLiteral("example.velnor.KestroLink"),
                            QIcon(QStringLiteral(":/images/example.velnor.KestroLink.svg")));
}
