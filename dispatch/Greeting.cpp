#include "Greeting.h"

#include "MailMessage.h"

QString greetingText(const QString &customerName, const QString &content)
{
    return QStringLiteral("你好， ") + customerName + QStringLiteral(",  ") + QLatin1Char('\n') + content;
}

void fillMessage(MailMessage &message, const SenderBoxes &sender, const MailText &mail, const Recipient &customer)
{
    message.charSet = QStringLiteral("utf-8");
    message.from().address = sender.address;
    message.subject = mail.subject;
    message.from().name = sender.name;
    message.replyTo.setAddresses(sender.address);
    message.recipients.setAddresses(customer.address);
    message.body = QStringList{greetingText(customer.name, mail.content)};
}

MailMessage customerMessage(const SenderBoxes &sender, const MailText &mail, const Recipient &customer)
{
    MailMessage message;
    fillMessage(message, sender, mail, customer);
    return message;
}
