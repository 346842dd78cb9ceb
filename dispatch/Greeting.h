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

// The message one customer gets. The run, the preview and the test mail all make it here, so that
// what the user previews or tries out is what the customer receives.
MailMessage customerMessage(const SenderBoxes &sender, const MailText &mail, const Recipient &customer);

// Fills a new message for one customer, field by field in the order the session expects them.
void fillMessage(MailMessage &message, const SenderBoxes &sender, const MailText &mail, const Recipient &customer);
