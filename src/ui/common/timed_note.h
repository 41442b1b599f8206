#pragma once
// A window's word on its last action for the status bar; it fades after a while,
// so an old result is not taken for a new one.
#include <QElapsedTimer>
#include <QString>

class TTimedNote
{
public:
    static constexpr qint64 DefaultLifetimeMs = 60000;

    explicit TTimedNote(qint64 lifetimeMs = DefaultLifetimeMs) : m_lifetimeMs(lifetimeMs) {}
    void set(const QString &text)
    {
        m_text = text;
        m_age.start();
    }
    QString text() const { return m_age.isValid() && m_age.elapsed() < m_lifetimeMs ? m_text : QString(); }

private:
    qint64 m_lifetimeMs;
    QString m_text;
    QElapsedTimer m_age;
};
