#pragma once
// What the certificate needs from the engineer: operator, serial number, customer,
// tolerance (remembered, 0.2 % at first) and a comment.
#include <QDialog>

class QDoubleSpinBox;
class QLineEdit;

class TDialog_Certificate : public QDialog
{
    Q_OBJECT
public:
    explicit TDialog_Certificate(QWidget *parent = nullptr);
    // Keeps the operator and the tolerance for the next certificate.
    void remember() const;
    static double RememberedTolerance();

    QLineEdit *Edit_Operator;
    QLineEdit *Edit_Serial;
    QLineEdit *Edit_Customer;
    QDoubleSpinBox *Spin_Tolerance;
    QLineEdit *Edit_Comment;
};
