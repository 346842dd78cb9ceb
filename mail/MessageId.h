#pragma once

#include <QDateTime>
#include <QString>

// A new Message-ID, angle brackets included (RFC 5322 section 3.6.4): the moment in UTC, the process,
// a counter and a random part, then "@" and the domain of the sender's address. A sender address
// without a usable domain gives the local host name instead, "localhost" when that is not usable
// either; an internationalized domain goes in its ASCII (punycode) form.
QString makeMessageId(const QString &senderAddress, const QDateTime &moment);

// The domain part of a Message-ID for this address (see makeMessageId).
QString messageIdDomain(const QString &senderAddress);
