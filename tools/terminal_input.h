#pragma once
// Lines from standard input while the event loop runs: a run waiting for the
// operator keeps its link and timers alive.
#include <QObject>
#include <QString>
#include <QTextStream>
#include <functional>
#include <optional>

class QSocketNotifier;

class TerminalInput : public QObject
{
public:
    explicit TerminalInput(QObject *parent = nullptr);
    ~TerminalInput() override;

    // The next line, or none when the input is closed.
    void ask(std::function<void(const std::optional<QString> &)> answer);
    // The next line that reads as a number ("12.5" or the locale's "12,5"); asks again
    // on anything else; none when the input is closed.
    void askNumber(QTextStream &prompt, std::function<void(const std::optional<double> &)> answer);

    // A typed number, with the point or the locale's separator.
    static std::optional<double> ParseNumber(const QString &text);

private:
    void onReadable();
    void deliver(const std::optional<QString> &line);

    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_pending;
    bool m_closed = false;
    std::function<void(const std::optional<QString> &)> m_answer;
};
