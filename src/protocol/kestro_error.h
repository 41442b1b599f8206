#pragma once
// An error whose message is the program's own text. The text is kept whole as a
// QString: what() is a C string and would end at an embedded NUL.
#include <QString>
#include <stdexcept>

class KestroError : public std::runtime_error
{
public:
    explicit KestroError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};
