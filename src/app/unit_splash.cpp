#include "app/unit_splash.h"
#include "ui/common/ui_fonts.h"
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFormSplash::TFormSplash(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormSplash"));
    setWindowTitle(QStringLiteral("KESTRO_link"));
    setFont(UiFont(8));

    LabelDevice = new QLabel(QStringLiteral("Расходомер кориолисовый КЕСТРО"), this);
    LabelDevice->setObjectName(QStringLiteral("LabelDevice"));
    LabelDevice->setFont(UiFont(16, true));
    LabelDevice->setWordWrap(true);
    LabelDevice->setAlignment(Qt::AlignCenter);

    ButtonContinue = new QPushButton(QStringLiteral("Продолжить"), this);
    ButtonContinue->setObjectName(QStringLiteral("ButtonContinue"));
    ButtonContinue->setDefault(true);
    connect(ButtonContinue, &QPushButton::clicked, this, &TFormSplash::ButtonContinueClick);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonContinue);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addWidget(LabelDevice, 1);
    layout->addLayout(buttons);
    resize(570, 348);
}

void TFormSplash::ButtonContinueClick()
{
    accept();
}
