#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// An enhanced status code (RFC 3463) such as 2.1.0 at the start of a reply line.
struct EnhancedStatusCode
{
    uint statusClass = 0;
    uint subject = 0;
    uint details = 0;
    bool available = false;

    bool operator==(const EnhancedStatusCode &) const = default;
};

// One server reply: its code, and its text with the codes taken off every line.
struct SmtpReply
{
    QString code;
    int numericCode = 0;
    QStringList text;
    EnhancedStatusCode enhancedCode;

    bool isEmpty() const { return code.isEmpty() && text.isEmpty(); }
};

// The text with every character of code 32 or less removed at both ends.
QString trimControls(const QString &text);
QStringView trimControls(QStringView text);

// Whether a trimmed, non-empty reply line is the last of its reply: shorter than four characters, or a
// blank in the fourth place. Any other fourth character ("-" or whatever a server sends) asks for more.
bool isLastReplyLine(const QString &line);

// Whether a trimmed, non-empty line can be a line of a reply: three digits, then nothing, a blank or a
// hyphen. Anything else (a greeting of "hello", binary bytes) is no reply at all, and no line after it
// could make it one.
bool canBeReplyLine(const QString &line);

// Throws MailError "the reply code is not valid: %s" (in Chinese) for a line that does not begin a reply, naming
// its first characters as the code.
[[noreturn]] void raiseInvalidReplyCode(const QString &line);

// The reply made of these trimmed, non-empty lines. Throws the same MailError
// when the first line does not begin with a code from 100 to 999.
SmtpReply parseReply(const QStringList &lines);

// Takes an enhanced status code and the one blank after it off the start of the text, when there is one.
bool takeEnhancedCode(QString &text, EnhancedStatusCode &code);
