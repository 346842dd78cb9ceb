#pragma once

#include "Charsets.h"
#include "Clock.h"
#include "HeaderList.h"
#include "MailAddress.h"

#include <QLocale>
#include <QString>
#include <QStringList>

enum class MessageEncoding { Default, Mime, PlainText };

// A plain Internet message, no MIME parts: its fields, and the header lines it becomes.
class MailMessage
{
public:
    QString charSet;
    MailAddressList fromList;
    MailAddress sender;
    QString subject;
    MailAddressList recipients;
    MailAddressList ccList;
    MailAddressList bccList;
    MailAddressList replyTo;
    QStringList body;
    HeaderList extraHeaders;
    MessageEncoding encoding = MessageEncoding::Default;
    HeaderList lastGeneratedHeaders;

    // The locale whose language and country choose the header charset; the process locale unless
    // a test sets another.
    QLocale locale = processLocale();
    // Where the Date line's moment comes from; the system clock unless a test sets another.
    const Clock *clock = &systemClock();

    // The first sender, appended empty when there is none yet.
    MailAddress &from();

    // Fills LastGeneratedHeaders with From, Subject, To, Cc, Reply-To and Date (those with a value),
    // then the ExtraHeaders. Raises MailError when the header charset has no converter or the
    // time zone cannot be read, or when an address would break the header.
    void generateHeader();
};
