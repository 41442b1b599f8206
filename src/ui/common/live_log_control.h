#pragma once
// What the main and calibration windows share about the live log: starting it
// with a file the engineer picks, stopping it, and the status bar's note.
#include <QString>

class QWidget;
class TLiveLog;

// Stops a running log; otherwise asks for the file (a dated name in the documents
// folder is offered) and starts it. A file that cannot be created is an error box.
void ToggleLiveLog(QWidget *parent, TLiveLog &log);
// "запись: kestrolink-….csv, строк: 120" while it runs; empty otherwise.
QString LiveLogNote(const TLiveLog *log);
// The file's name in that note: the part that gives way in a narrow status bar.
QString LiveLogName(const TLiveLog *log);
// Notes of a status bar joined after the link status.
QString JoinNotes(const QStringList &notes);
