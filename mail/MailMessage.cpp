#include "MailMessage.h"

#include "Charsets.h"
#include "HeaderCoding.h"
#include "MailErrors.h"
#include "SmtpReply.h"

namespace {

// An address goes into the header as it stands, never quoted or encoded, so one holding a line
// break or another control character inside would write header text of its own.
void checkAddresses(const MailAddressList &list)
{
    for (const MailAddress &item : list) {
        for (const QChar c : trimControls(item.address)) {
            if (c.unicode() < 32 || c.unicode() == 127)
                throw InvalidAddressError(item.address);
        }
    }
}

} // namespace

MailAddress &MailMessage::from()
{
    if (fromList.count() == 0)
        return fromList.add();
    return fromList[0];
}

void MailMessage::generateHeader()
{
    if (encoding == MessageEncoding::Default)
        encoding = MessageEncoding::PlainText;

    const CharsetEncoder encoder(headerCharsetFor(locale));
    const QString date = dateHeaderValue(clock->now());
    for (const MailAddressList *list : {&fromList, &recipients, &ccList, &replyTo})
        checkAddresses(*list);

    for (MailAddress &item : fromList) {
        if (item.name.isEmpty())
            item.name = item.address;
    }

    HeaderList headers;
    headers.setValue(QStringLiteral("From"), encodeAddressList(fromList, encoder));
    headers.setValue(QStringLiteral("Subject"), encodeHeader(singleLine(subject), {}, encoder));
    headers.setValue(QStringLiteral("To"), encodeAddressList(recipients, encoder));
    headers.setValue(QStringLiteral("Cc"), encodeAddressList(ccList, encoder));
    headers.setValue(QStringLiteral("Reply-To"), encodeAddressList(replyTo, encoder));
    headers.setValue(QStringLiteral("Date"), date);
    for (const QString &line : extraHeaders.lines())
        headers.append(line);
    lastGeneratedHeaders = std::move(headers);
}
