#include "app/unit_splash.h"
#include "app/maker_info.h"
#include "ui/common/ui_fonts.h"
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QLabel *line(QWidget *parent, const QString &text, int pixelSize, bool bold = false)
{
    auto *label = new QLabel(text, parent);
    QFont font = UiFont(8, bold);
    font.setPixelSize(pixelSize);
    label->setFont(font);
    return label;
}

} // namespace

TFormSplash::TFormSplash(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("FormSplash"));
    setWindowTitle(QStringLiteral("KESTRO_link"));
    setFont(UiFont(8));
    setFixedSize(ClientWidth, ClientHeight);

    const int quarter = (ClientHeight - 2 * Margin - 40) / 4;
    ImagePartner = new QLabel(this);
    ImagePartner->setPixmap(MakerPicture(QStringLiteral("logo_partner"), QSize(LeftColumnWidth / 2 - 4, quarter)));
    ImagePartner->setAccessibleName(QStringLiteral("Логотип партнёра"));
    ImageMaker = new QLabel(this);
    ImageMaker->setPixmap(MakerPicture(QStringLiteral("logo_velnor"), QSize(LeftColumnWidth / 2 - 4, quarter)));
    ImageMaker->setAccessibleName(QStringLiteral("Логотип ") + Maker::Company);

    LabelDevice = line(this, QStringLiteral("Расходомер кориолисовый КЕСТРО"), 21, true);
    LabelDevice->setObjectName(QStringLiteral("LabelDevice"));
    LabelDevice->setWordWrap(true);
    LabelCompany = line(this, Maker::Company, 16);
    LabelCity = line(this, Maker::City, 16);
    LabelPhone = line(this, Maker::Phone, 16);

    ImageProduct = new QPushButton(this);
    ImageProduct->setObjectName(QStringLiteral("ImageProduct"));
    ImageProduct->setFlat(true);
    ImageProduct->setCursor(Qt::PointingHandCursor);
    ImageProduct->setIcon(QIcon(MakerPicture(QStringLiteral("meter"), QSize(280, 260))));
    ImageProduct->setIconSize(QSize(280, 260));
    ImageProduct->setToolTip(Maker::ProductPage);
    ImageProduct->setAccessibleName(QStringLiteral("Расходомер КЕСТРО на сайте производителя"));

    ButtonGoTo = new QPushButton(QStringLiteral("Перейти на веб-сайт"), this);
    ButtonGoTo->setObjectName(QStringLiteral("ButtonGoTo"));
    ButtonGoTo->setAutoDefault(false);
    ButtonContinue = new QPushButton(QStringLiteral("Продолжить"), this);
    ButtonContinue->setObjectName(QStringLiteral("ButtonContinue"));
    ButtonContinue->setDefault(true);
    connect(ButtonGoTo, &QPushButton::clicked, this, &TFormSplash::ButtonGoToClick);
    connect(ButtonContinue, &QPushButton::clicked, this, &TFormSplash::ButtonContinueClick);
    connect(ImageProduct, &QPushButton::clicked, this, &TFormSplash::ImageProductClick);

    // Left column in quarters: logos, device, a gap, the maker's details.
    auto *logos = new QHBoxLayout;
    logos->addWidget(ImagePartner, 0, Qt::AlignCenter);
    logos->addWidget(ImageMaker, 0, Qt::AlignCenter);
    auto *info = new QVBoxLayout;
    info->setSpacing(0);
    for (QLabel *l : {LabelCompany, LabelCity, LabelPhone})
        info->addWidget(l, 1);
    auto *left = new QGridLayout;
    left->setSpacing(0);
    left->addLayout(logos, 0, 0);
    left->addWidget(LabelDevice, 1, 0);
    left->addWidget(new QLabel(this), 2, 0);
    left->addLayout(info, 3, 0);
    for (int row = 0; row < 4; ++row)
        left->setRowStretch(row, 1);
    auto *leftColumn = new QWidget(this);
    leftColumn->setFixedWidth(LeftColumnWidth);
    leftColumn->setLayout(left);

    auto *columns = new QHBoxLayout;
    columns->addWidget(leftColumn);
    columns->addWidget(ImageProduct, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(ButtonGoTo);
    buttons->addStretch(1);
    buttons->addWidget(ButtonContinue);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(Margin, Margin, Margin, Margin);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);
}

void TFormSplash::ButtonGoToClick()
{
    QDesktopServices::openUrl(QUrl(Maker::WebSite));
}

void TFormSplash::ImageProductClick()
{
    QDesktopServices::openUrl(QUrl(Maker::ProductPage));
}

void TFormSplash::ButtonContinueClick()
{
    accept();
}
