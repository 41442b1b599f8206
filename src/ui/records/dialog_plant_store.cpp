#include "ui/records/dialog_plant_store.h"
#include "records/plant_sync.h"
#include "records/record_store.h"
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TDialogPlantStore::TDialogPlantStore(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Dialog_PlantStore"));
    setWindowTitle(QStringLiteral("Хранилище записей"));
    auto *hint = new QLabel(QStringLiteral("Записи всегда сохраняются на этом компьютере. Адрес хранилища завода "
                                           "(postgresql://пользователь@сервер:порт/база) — куда они отправляются "
                                           "следом; пустой — только здесь. Пароль берётся из ~/.pgpass. "
                                           "Новый адрес действует со следующего запуска программы."),
                            this);
    hint->setWordWrap(true);
    Edit_Url = new QLineEdit(TPlantSync::ConfiguredUrl(), this);
    Edit_Url->setObjectName(QStringLiteral("Edit_Url"));
    Edit_Url->setAccessibleName(QStringLiteral("Адрес хранилища завода"));
    Edit_Url->setPlaceholderText(QStringLiteral("postgresql://kestro@server:5432/kestro"));
    Button_Test = new QPushButton(QStringLiteral("Проверить соединение"), this);
    Button_Test->setObjectName(QStringLiteral("Button_Test"));
    Label_Result = new QLabel(this);
    Label_Result->setObjectName(QStringLiteral("Label_Result"));
    Label_Result->setWordWrap(true);
    Label_Result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Button_Save = new QPushButton(QStringLiteral("Сохранить"), this);
    Button_Save->setObjectName(QStringLiteral("Button_Save"));
    Button_Save->setDefault(true);
    Button_Cancel = new QPushButton(QStringLiteral("Отмена"), this);
    Button_Cancel->setObjectName(QStringLiteral("Button_Cancel"));

    auto *urlRow = new QHBoxLayout;
    urlRow->addWidget(Edit_Url, 1);
    urlRow->addWidget(Button_Test);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button_Save);
    buttons->addWidget(Button_Cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addLayout(urlRow);
    layout->addWidget(Label_Result);
    layout->addLayout(buttons);
    resize(560, sizeHint().height());

    connect(Button_Test, &QPushButton::clicked, this, [this] { testConnection(); });
    connect(Button_Save, &QPushButton::clicked, this, &TDialogPlantStore::save);
    connect(Button_Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TDialogPlantStore::testConnection()
{
    const QString url = Edit_Url->text().trimmed();
    if (url.isEmpty()) {
        Label_Result->setText(QStringLiteral("Адрес не задан: записи хранятся только на этом компьютере."));
        return false;
    }
    // The connection gives up after a few seconds; the cursor says it is busy meanwhile.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TRecordStore plant(url);
    const bool ok = plant.open() && plant.isServer();
    QApplication::restoreOverrideCursor();
    Label_Result->setText(ok ? QStringLiteral("Соединение есть: хранилище завода отвечает.")
                             : (plant.lastError().isEmpty() ? QStringLiteral("Это не адрес сервера PostgreSQL.")
                                                            : plant.lastError()));
    return ok;
}

void TDialogPlantStore::save()
{
    TPlantSync::SetConfiguredUrl(Edit_Url->text().trimmed());
    accept();
}
