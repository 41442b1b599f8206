#include "app/unit_about.h"
#include "app/maker_info.h"
#include "ui/common/ui_fonts.h"
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

TFormAbout::TFormAbout(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("FormAbout"));
    setWindowTitle(QStringLiteral("О программе"));
    setFont(UiFont(8));
    setFixedSize(ClientWidth, ClientHeight);

    ImageLogo = new QLabel(this);
    ImageLogo->setFixedWidth(113);
    ImageLogo->setAlignment(Qt::AlignCenter);
    ImageLogo->setPixmap(MakerPicture(QStringLiteral("logo_velnor"), QSize(109, 80)));
    ImageLogo->setAccessibleName(QStringLiteral("Логотип ") + Maker::Company);

    const auto centred = [this](const char *name, const QString &text) {
        auto *label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        return label;
    };
    LabelAppName = centred("LabelAppName", QStringLiteral("KESTRO_link"));
    LabelAppName->setFont(UiFont(12, true));
    LabelVersion = centred("LabelVersion", QStringLiteral("Версия ") + QStringLiteral(KESTRO_VERSION));
    LabelRights = centred("LabelRights", Maker::RightsNotice);
    LabelPhone = centred("LabelPhone", Maker::Phone);
    // A link: it opens with the mouse and with the keyboard alike.
    LabelWebSite = centred("LabelWebSite", QStringLiteral("<a href=\"%1\">%1</a>").arg(Maker::WebSite));
    LabelWebSite->setTextFormat(Qt::RichText);
    LabelWebSite->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    LabelWebSite->setCursor(Qt::PointingHandCursor);
    LabelWebSite->setAccessibleName(QStringLiteral("Сайт производителя ") + Maker::WebSite);
    connect(LabelWebSite, &QLabel::linkActivated, this, &TFormAbout::LabelWebSiteClick);

    ButtonOK = new QPushButton(QStringLiteral("ОК"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormAbout::ButtonOKClick);

    auto *texts = new QVBoxLayout;
    for (QLabel *l : {LabelAppName, LabelVersion, LabelRights, LabelPhone, LabelWebSite})
        texts->addWidget(l, 1);
    auto *top = new QHBoxLayout;
    top->addWidget(ImageLogo);
    top->addLayout(texts, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(Margin, Margin, Margin, Margin);
    layout->addLayout(top, 1);
    layout->addWidget(ButtonOK, 0, Qt::AlignHCenter);
}

void TFormAbout::ButtonOKClick()
{
    reject();
}

void TFormAbout::LabelWebSiteClick()
{
    QDesktopServices::openUrl(QUrl(Maker::WebSite));
}
