#pragma once
// "Хранилище записей": where this workstation's records go after its own file. The
// plant's URL is kept in the settings; its password never is (libpq reads ~/.pgpass).
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TDialogPlantStore : public QDialog
{
    Q_OBJECT
public:
    explicit TDialogPlantStore(QWidget *parent = nullptr);

    // Opens the plant's store once and says how it went; true when it answered.
    bool testConnection();
    // Keeps the URL (empty: records stay local) and closes.
    void save();

    QLineEdit *Edit_Url;
    QPushButton *Button_Test;
    QLabel *Label_Result;
    QPushButton *Button_Save;
    QPushButton *Button_Cancel;
};
