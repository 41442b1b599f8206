#include "ui/calibration/form_dialog_add_row.h"
#include "protocol/number_text.h"
#include "ui/common/labeled_edit.h"
#include "ui/common/message_presenter.h"
#include "ui/common/ui_fonts.h"
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

TForm_dialog_add_row::TForm_dialog_add_row(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("Form_dialog_add_row"));
    setWindowTitle(QStringLiteral("Добавление строки"));
    setFont(UiFont(8));
    setFixedSize(ClientWidth, ClientHeight);

    LE_Etalon = new TLabeledEdit(QStringLiteral("Эталонный расход"), this);
    LE_Etalon->setObjectName(QStringLiteral("LE_Etalon"));
    LE_Etalon->edit()->setReadOnly(false);
    LE_Etalon->setEditGeometry(16, 34, 208);
    LE_Comment = new TLabeledEdit(QStringLiteral("Примечание"), this);
    LE_Comment->setObjectName(QStringLiteral("LE_Comment"));
    LE_Comment->edit()->setReadOnly(false);
    LE_Comment->setEditGeometry(16, 94, 208);

    Button_OK = new QPushButton(QStringLiteral("Добавить"), this);
    Button_OK->setObjectName(QStringLiteral("Button_OK"));
    Button_OK->setGeometry(16, 136, 100, 25);
    Button_OK->setDefault(true);
    Button_Cancel = new QPushButton(QStringLiteral("Отмена"), this);
    Button_Cancel->setObjectName(QStringLiteral("Button_Cancel"));
    Button_Cancel->setGeometry(124, 136, 100, 25);
    connect(Button_OK, &QPushButton::clicked, this, &TForm_dialog_add_row::Button_OKClick);
    connect(Button_Cancel, &QPushButton::clicked, this, &QDialog::reject);

    if (owner)
        move(owner->geometry().center() - rect().center());
}

void TForm_dialog_add_row::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    LE_Etalon->edit()->setFocus();
}

void TForm_dialog_add_row::refuse(const QString &message)
{
    ShowMessage(this, {QMessageBox::NoIcon, windowTitle(), message, QMessageBox::Ok, QMessageBox::Ok});
    LE_Etalon->edit()->setFocus();
}

void TForm_dialog_add_row::Button_OKClick()
{
    QString text = LE_Etalon->text();
    if (text.trimmed().isEmpty()) {
        refuse(QStringLiteral("Ошибка: введите эталонный расход!"));
        return;
    }
    // The point key types the locale's separator, and the box shows it so.
    text.replace(QLatin1Char('.'), QLocale().decimalPoint());
    LE_Etalon->setText(text);
    try {
        FEtalon = ParseLocaleFloat(text);
    } catch (const EConvertError &) {
        refuse(QStringLiteral("Ошибка: Значение параметра \"Эталон\" не число!"));
        return;
    }
    FComment = LE_Comment->text().trimmed();
    accept();
}
