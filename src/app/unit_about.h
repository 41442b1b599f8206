#pragma once
// "О программе": the program's name and version, the maker's rights notice,
// telephone number and web site.
#include <QDialog>

class QLabel;
class QPushButton;

class TFormAbout : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 343;
    static constexpr int ClientHeight = 193;
    static constexpr int Margin = 8;

    explicit TFormAbout(QWidget *parent = nullptr);

    void ButtonOKClick();
    void LabelWebSiteClick();

    QLabel *ImageLogo;
    QLabel *LabelAppName;
    QLabel *LabelVersion;
    QLabel *LabelRights;
    QLabel *LabelPhone;
    QLabel *LabelWebSite;
    QPushButton *ButtonOK;
};
