#pragma once
// What the certificate needs from the engineer: operator, serial number, customer,
// tolerance (remembered, 0.2 % at first) and a comment. The verdict the
// certificate will carry is shown for the tolerance as typed.
#include <QDialog>

class QLabel;
class QLineEdit;
namespace Verification {
class Cells;
}

class TDialog_Certificate : public QDialog
{
    Q_OBJECT
public:
    // grid: the verification table the certificate is made of.
    explicit TDialog_Certificate(const Verification::Cells &grid, QWidget *parent = nullptr);
    // Keeps the operator and the tolerance for the next certificate.
    void remember() const;
    static double RememberedTolerance();
    // The tolerance in percent as typed (the point or the locale's separator);
    // raises an error with the reason for anything else, zero and less included.
    double tolerance() const;
    // Stays open, with a message, for an empty serial number or a tolerance
    // that is not a number above zero.
    void accept() override;

    QLineEdit *Edit_Operator;
    QLineEdit *Edit_Serial;
    QLineEdit *Edit_Customer;
    QLineEdit *Edit_Tolerance;
    QLabel *Label_Tolerance; // the verdict at the typed tolerance, or why it is refused
    QLineEdit *Edit_Comment;

private:
    void showTolerance();

    const Verification::Cells &m_grid;
};
