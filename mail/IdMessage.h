#pragma once

#include "mail/IdCharsets.h"
#include "mail/IdClock.h"
#include "mail/IdEMailAddress.h"
#include "mail/IdHeaderList.h"

#include <QLocale>
#include <QString>
#include <QStringList>

enum TIdMessageEncoding { meDefault, meMIME, mePlainText };

// A plain Internet message, no MIME parts: its fields, and the header lines it becomes.
class TIdMessage
{
public:
    QString CharSet;
    TIdEMailAddressList FromList;
    TIdEMailAddressItem Sender;
    QString Subject;
    TIdEMailAddressList Recipients;
    TIdEMailAddressList CCList;
    TIdEMailAddressList BccList;
    TIdEMailAddressList ReplyTo;
    QStringList Body;
    TIdHeaderList ExtraHeaders;
    TIdMessageEncoding Encoding = meDefault;
    TIdHeaderList LastGeneratedHeaders;

    // The locale whose language and country choose the header charset; the process locale unless
    // a test sets another.
    QLocale Locale = IdProcessLocale();
    // Where the Date line's moment comes from; the system clock unless a test sets another.
    const IdClock *Clock = &IdSystemClock();

    // The first sender, appended empty when there is none yet.
    TIdEMailAddressItem &From();

    // Fills LastGeneratedHeaders with From, Subject, To, Cc, Reply-To and Date (those with a value),
    // then the ExtraHeaders. Raises EIdException when the header charset has no converter or the
    // time zone cannot be read, or when an address would break the header.
    void GenerateHeader();
};
