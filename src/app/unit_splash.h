#pragma once
// The start-up window shown modally before anything else of the program exists:
// the device, the maker's and a partner's logos, a picture of the meter, and a
// way to the maker's web site.
#include <QDialog>

class QLabel;
class QPushButton;

class TFormSplash : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 570;
    static constexpr int ClientHeight = 348;
    static constexpr int Margin = 16;
    static constexpr int LeftColumnWidth = 257;

    explicit TFormSplash(QWidget *parent = nullptr);

    void ButtonGoToClick();
    void ButtonContinueClick();
    void ImageProductClick();

    QLabel *ImagePartner;
    QLabel *ImageMaker;
    QLabel *LabelDevice;
    QLabel *LabelCompany;
    QLabel *LabelCity;
    QLabel *LabelPhone;
    QPushButton *ImageProduct;
    QPushButton *ButtonGoTo;
    QPushButton *ButtonContinue;
};
