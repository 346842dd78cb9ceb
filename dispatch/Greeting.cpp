#include "Greeting.h"

#include "Attachment.h"
#include "MailMessage.h"

#include <QUrl>

QString greetingText(const QString &customerName, const QString &content)
{
    return QStringLiteral("你好， ") + customerName + QStringLiteral(",  ") + QLatin1Char('\n') + content;
}

QString listUnsubscribeValue(const QString &senderAddress)
{
    // "退订" in UTF-8, percent-encoded; the address keeps its "@" and loses nothing a mailto URL
    // would read otherwise ("?", "%", "#", blanks).
    return QStringLiteral("<mailto:") + QString::fromLatin1(QUrl::toPercentEncoding(senderAddress.trimmed(), "@"))
        + QStringLiteral("?subject=") + QString::fromLatin1(QUrl::toPercentEncoding(QStringLiteral("退订")))
        + QLatin1Char('>');
}

void fillMessage(MailMessage &message, const SenderBoxes &sender, const MailText &mail, const Recipient &customer,
                 const RefusalOption &refusal)
{
    message.charSet = QStringLiteral("utf-8");
    message.from().address = sender.address;
    message.subject = mail.advertising ? QStringLiteral("广告：") + mail.subject : mail.subject;
    message.from().name = sender.name;
    message.replyTo.setAddresses(sender.address);
    message.recipients.setAddresses(customer.address);
    message.body = QStringList{greetingText(customer.name, mail.content)};
    if (refusal.on) {
        message.body.append(refusal.text);
        message.extraHeaders.setValue(QStringLiteral("List-Unsubscribe"), listUnsubscribeValue(sender.address));
    }
}

std::shared_ptr<const Attachment> encodedAttachment(const MailText &mail)
{
    if (!mail.attachment)
        return nullptr;
    return std::make_shared<const Attachment>(mail.attachment->fileName, mail.attachment->content);
}

MailMessage customerMessage(const SenderBoxes &sender, const MailText &mail, const Recipient &customer,
                            const RefusalOption &refusal, std::shared_ptr<const Attachment> file)
{
    MailMessage message;
    fillMessage(message, sender, mail, customer, refusal);
    message.attachment = std::move(file);
    return message;
}
