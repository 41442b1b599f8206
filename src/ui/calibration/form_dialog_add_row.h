#pragma once
// "Добавление строки": the reference flow (and a comment) for one row of the
// verification table.
#include <QDialog>

class QLineEdit;
class QPushButton;
class TLabeledEdit;

class TForm_dialog_add_row : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 240;
    static constexpr int ClientHeight = 170;

    explicit TForm_dialog_add_row(QWidget *owner);

    // Valid after the dialog ended with OK.
    float FEtalon = 0.0f;
    QString FComment;

    void Button_OKClick();

    TLabeledEdit *LE_Etalon;
    TLabeledEdit *LE_Comment;
    QPushButton *Button_OK;
    QPushButton *Button_Cancel;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refuse(const QString &message);
};
