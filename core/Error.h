#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The system's general error: every failure is raised as an error object carrying the message
// text the user will read in the error box. Subsystems derive their own kinds from it (the SMTP
// session's MailError, for one), so one handler can catch them all and show the text.
class Error : public std::exception
{
public:
    explicit Error(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8())
    {
    }

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
