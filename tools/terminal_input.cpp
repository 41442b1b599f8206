#include "tools/terminal_input.h"
#include <QLocale>
#include <QSocketNotifier>
#include <QTimer>
#include <cmath>
#include <unistd.h>

TerminalInput::TerminalInput(QObject *parent) : QObject(parent) {}

TerminalInput::~TerminalInput() = default;

std::optional<double> TerminalInput::ParseNumber(const QString &text)
{
    QString t = text.trimmed();
    bool ok = false;
    double v = QLocale().toDouble(t, &ok);
    if (!ok) {
        t.replace(QLatin1Char(','), QLatin1Char('.'));
        v = QLocale::c().toDouble(t, &ok);
    }
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

void TerminalInput::ask(std::function<void(const std::optional<QString> &)> answer)
{
    m_answer = std::move(answer);
    if (!m_notifier && !m_closed) {
        m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { onReadable(); });
    }
    if (m_notifier && !m_closed)
        m_notifier->setEnabled(true);
    // A line typed ahead is answered from the event loop, never inside the question.
    if (m_pending.contains('\n') || m_closed)
        QTimer::singleShot(0, this, [this] { onReadable(); });
}

void TerminalInput::askNumber(QTextStream &prompt, std::function<void(const std::optional<double> &)> answer)
{
    ask([this, &prompt, answer](const std::optional<QString> &line) {
        if (!line) {
            answer(std::nullopt);
            return;
        }
        if (const std::optional<double> v = ParseNumber(*line)) {
            answer(v);
            return;
        }
        prompt << "not a number: '" << line->trimmed() << "'; again, kg/h: " << Qt::flush;
        askNumber(prompt, answer);
    });
}

void TerminalInput::onReadable()
{
    if (!m_pending.contains('\n') && !m_closed) {
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            m_closed = true;
            if (m_notifier)
                m_notifier->setEnabled(false);
        } else {
            m_pending.append(buffer, n);
        }
    }
    if (!m_answer)
        return; // kept for the next question
    const qsizetype end = m_pending.indexOf('\n');
    if (end >= 0) {
        const QString line = QString::fromLocal8Bit(m_pending.left(end));
        m_pending.remove(0, end + 1);
        deliver(line);
    } else if (m_closed) {
        deliver(std::nullopt);
    }
}

void TerminalInput::deliver(const std::optional<QString> &line)
{
    if (!m_answer)
        return;
    if (m_notifier)
        m_notifier->setEnabled(false);
    // The answer may ask again.
    auto answer = std::move(m_answer);
    m_answer = nullptr;
    answer(line);
}
