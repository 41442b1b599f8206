#pragma once
// The start-up window shown modally before anything else of the program exists.
#include <QDialog>

class QLabel;
class QPushButton;

class TFormSplash : public QDialog
{
    Q_OBJECT
public:
    explicit TFormSplash(QWidget *parent = nullptr);

    void ButtonContinueClick();

    QLabel *LabelDevice;
    QPushButton *ButtonContinue;
};
