#pragma once

#include "SendRecords.h"

#include <QString>

class MailMessage;

struct SenderBoxes
{
    QString name;
    QString address;
};

// The whole body: the greeting with the customer's name, a line feed, then the mail text.
QString greetingText(const QString &customerName, const QString &content);

// Fills a new message for one customer, field by field in the order the session expects them.
void fillMessage(MailMessage &message, const SenderBoxes &sender, const MailText &mail, const Recipient &customer);
