#pragma once

#include <QString>
#include <QStringList>

// An enhanced status code (RFC 3463) such as 2.1.0 at the start of a reply line.
struct TIdSMTPEnhancedCode
{
    uint StatusClass = 0;
    uint Subject = 0;
    uint Details = 0;
    bool Available = false;

    bool operator==(const TIdSMTPEnhancedCode &) const = default;
};

// One server reply: its code, and its text with the codes taken off every line.
struct TIdReplySMTP
{
    QString Code;
    int NumericCode = 0;
    QStringList Text;
    TIdSMTPEnhancedCode EnhancedCode;

    bool isEmpty() const { return Code.isEmpty() && Text.isEmpty(); }
};

// The text with every character of code 32 or less removed at both ends.
QString trimControls(const QString &text);

// Whether a trimmed, non-empty reply line is the last of its reply: shorter than four characters, or a
// blank in the fourth place. Any other fourth character ("-" or whatever a server sends) asks for more.
bool isLastReplyLine(const QString &line);

// The reply made of these trimmed, non-empty lines. Throws EIdException "Reply Code is not valid: %s"
// when the first line does not begin with a code from 100 to 999.
TIdReplySMTP parseReply(const QStringList &lines);

// Takes an enhanced status code and the one blank after it off the start of the text, when there is one.
bool takeEnhancedCode(QString &text, TIdSMTPEnhancedCode &code);
