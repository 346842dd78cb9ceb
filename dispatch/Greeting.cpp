#include "dispatch/Greeting.h"

#include "mail/IdMessage.h"

QString greetingText(const QString &customerName, const QString &content)
{
    return QStringLiteral("你好， ") + customerName + QStringLiteral(",  ") + QLatin1Char('\n') + content;
}

void fillMessage(TIdMessage &message, const SenderBoxes &sender, const MailText &mail, const Recipient &customer)
{
    message.CharSet = QStringLiteral("utf-8");
    message.From().Address = sender.address;
    message.Subject = mail.subject;
    message.From().Name = sender.name;
    message.ReplyTo.setEMailAddresses(sender.address);
    message.Recipients.setEMailAddresses(customer.address);
    message.Body = QStringList{greetingText(customer.name, mail.content)};
}
