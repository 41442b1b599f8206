#pragma once
// Every live answer of the meter as one row of a CSV file: local time with
// milliseconds, then the nine readings as numbers. Rows reach the file as they
// come (unbuffered, so a crash loses at most the row being written); a write
// error stops the log with its reason and leaves what was written.
//
// Fields are separated by ';', which no number in any locale contains; numbers use
// the decimal mark of the user's locale, so a double-click opens the file in his
// spreadsheet with numbers, not texts. UTF-8 with a byte order mark.
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QObject>
#include <array>

namespace LiveCsv {
constexpr char Separator = ';';
constexpr int Readings = 9;
QString HeaderLine();
QString Row(const QDateTime &local, const std::array<float, Readings> &values, const QLocale &locale);
// The nine readings of a live answer frame (data 1..24), or none for any other frame.
std::optional<std::array<float, Readings>> ReadingsOf(const QByteArray &frame);
// kestrolink-YYYYMMDD-HHMMSS.csv in the user's documents folder.
QString DefaultPath(const QDateTime &now);
} // namespace LiveCsv

class TMeterLink;

class TLiveLog : public QObject
{
    Q_OBJECT
public:
    explicit TLiveLog(TMeterLink &dm, QObject *parent = nullptr);
    ~TLiveLog() override;

    // False, with the reason, when the file cannot be created.
    bool start(const QString &path, QString *error, const QLocale &locale = QLocale());
    void stop();
    bool isRunning() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    qint64 rows() const { return m_rows; }

Q_SIGNALS:
    void runningChanged(bool running);
    // The log stopped on a write error; the rows written stay in the file.
    void failed(const QString &message);

private:
    void onAnswer(const QByteArray &frame);
    bool write(const QString &text, QString *error);

    QFile m_file;
    QLocale m_locale;
    qint64 m_rows = 0;
    qint64 m_goodSize = 0; // the file's size after the last whole row
};
