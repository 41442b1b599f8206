#pragma once
// The file dialogs of the program: they start in the documents folder (or the
// home folder when it is missing), and a saved document that no program can open
// is at least found by its path.
#include <QString>

class QWidget;

// Asks where to save; fileName is offered in the save folder. Empty when cancelled.
QString AskSaveFileName(QWidget *parent, const QString &caption, const QString &fileName, const QString &filter);
// Asks for a file to read, starting in the save folder. Empty when cancelled.
QString AskOpenFileName(QWidget *parent, const QString &caption, const QString &filter);
// A title made into a file name: characters that file systems refuse become "_".
QString FileNameFromTitle(const QString &title);
// Opens a file just written in the desktop's viewer; when there is none, says
// where the file is (what: "Протокол поверки" and the like).
void OpenSavedDocument(QWidget *parent, const QString &what, const QString &path);
