#pragma once

#include "RefusalList.h"
#include "SendRecords.h"

#include <QString>

#include <memory>

class Attachment;
class MailMessage;

struct SenderBoxes
{
    QString name;
    QString address;
};

// The whole body: the greeting with the customer's name, a line feed, then the mail text.
QString greetingText(const QString &customerName, const QString &content);

// The List-Unsubscribe value (RFC 2369) that asks the sender, by mail, with the subject 退订.
QString listUnsubscribeValue(const QString &senderAddress);

// The message one customer gets. The run, the preview and the test mail all make it here, so that
// what the user previews or tries out is what the customer receives.
// The mail's file encoded for sending, once for all the messages that carry it; none without a file.
std::shared_ptr<const Attachment> encodedAttachment(const MailText &mail);

// `file`: the mail's attachment, encoded once for all its messages (none: a plain message).
MailMessage customerMessage(const SenderBoxes &sender, const MailText &mail, const Recipient &customer,
                            const RefusalOption &refusal = {}, std::shared_ptr<const Attachment> file = nullptr);

// Fills a new message for one customer, field by field in the order the session expects them. An
// advertising mail's subject goes out with "广告：" in front; with the refusal option on, the
// message carries List-Unsubscribe and the option's text as the body's last line. With neither,
// the message is what it always was.
void fillMessage(MailMessage &message, const SenderBoxes &sender, const MailText &mail, const Recipient &customer,
                 const RefusalOption &refusal = {});
