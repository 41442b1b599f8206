#pragma once
// Where the files the engineer saves are offered: the documents folder, or the
// home folder when there is none. Never the working directory, which is wherever
// the program happened to be started from.
#include <QString>

QString SaveFolder();
// fileName in SaveFolder(); an absolute fileName stays as it is.
QString InSaveFolder(const QString &fileName);
