#include "MailMessage.h"

#include "Charsets.h"
#include "HeaderCoding.h"
#include "MailErrors.h"
#include "MessageId.h"
#include "SmtpReply.h"

#include <algorithm>

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

// The encoder of one header: the locale's charset when it holds every text of the header, else
// UTF-8, so that no character becomes "?" and a text the locale's charset holds is written as
// before.
class HeaderEncoders
{
public:
    explicit HeaderEncoders(const QLocale &locale)
        : m_locale(threadEncoder(headerCharsetFor(locale)))
    {
    }

    const CharsetEncoder &forTexts(const QStringList &texts)
    {
        if (std::all_of(texts.begin(), texts.end(), [this](const QString &t) { return m_locale.holds(t); }))
            return m_locale;
        return threadEncoder(HeaderCharset{QStringLiteral("UTF-8"), "UTF-8"});
    }

    const CharsetEncoder &forNames(const MailAddressList &list)
    {
        QStringList names;
        for (const MailAddress &item : list)
            names.append(item.name);
        return forTexts(names);
    }

private:
    const CharsetEncoder &m_locale;
};

} // namespace

MailAddress &MailMessage::from()
{
    if (fromList.count() == 0)
        return fromList.add();
    return fromList[0];
}

TransferEncoding MailMessage::bodyTransferEncoding(bool eightBitMime) const
{
    return chooseBodyTransferEncoding(body, bodyTextEncoding(charSet), eightBitMime);
}

void MailMessage::generateHeader(bool eightBitMime)
{
    if (encoding == MessageEncoding::Default)
        encoding = MessageEncoding::PlainText;

    HeaderEncoders encoders(locale);
    const QDateTime moment = clock->now();
    const QString date = dateHeaderValue(moment);
    for (const MailAddressList *list : {&fromList, &recipients, &ccList, &replyTo})
        checkAddresses(*list);

    for (MailAddress &item : fromList) {
        if (item.name.isEmpty())
            item.name = item.address;
    }

    if (messageId.isEmpty()) {
        QString senderAddress = trimControls(sender.address);
        if (senderAddress.isEmpty() && fromList.count() > 0)
            senderAddress = fromList[0].address;
        messageId = makeMessageId(senderAddress, moment);
    }
    const TextEncoding bodyEncoding = bodyTextEncoding(charSet);
    const TransferEncoding transfer = chooseBodyTransferEncoding(body, bodyEncoding, eightBitMime);

    const QString subjectText = singleLine(subject);
    HeaderList headers;
    headers.appendValue(QStringLiteral("From"), encodeAddressList(fromList, encoders.forNames(fromList)));
    headers.appendValue(QStringLiteral("Subject"), encodeHeader(subjectText, {}, encoders.forTexts({subjectText})));
    headers.appendValue(QStringLiteral("To"), encodeAddressList(recipients, encoders.forNames(recipients)));
    headers.appendValue(QStringLiteral("Cc"), encodeAddressList(ccList, encoders.forNames(ccList)));
    headers.appendValue(QStringLiteral("Reply-To"), encodeAddressList(replyTo, encoders.forNames(replyTo)));
    headers.appendValue(QStringLiteral("Date"), date);
    headers.appendValue(QStringLiteral("Message-ID"), messageId);
    headers.appendValue(QStringLiteral("MIME-Version"), QStringLiteral("1.0"));
    HeaderList &textHeaders = attachment ? lastTextPartHeaders : headers;
    lastTextPartHeaders = HeaderList();
    if (attachment) {
        lastBoundary = multipartBoundary(messageId, body);
        headers.appendValue(QStringLiteral("Content-Type"),
                            QLatin1String("multipart/mixed; boundary=\"") + lastBoundary + u'"');
        // A multipart entity is declared 7bit or 8bit (RFC 2045 6.4): 8bit exactly when its text
        // part is; the file is base64.
        headers.appendValue(QStringLiteral("Content-Transfer-Encoding"),
                            transferEncodingName(transfer == TransferEncoding::EightBit ? TransferEncoding::EightBit
                                                                                         : TransferEncoding::SevenBit));
        lastAttachmentHeaders = attachment->partHeaders(encoders.forTexts({attachment->fileName()}));
    } else {
        lastBoundary.clear();
        lastAttachmentHeaders = HeaderList();
    }
    textHeaders.appendValue(QStringLiteral("Content-Type"),
                            QStringLiteral("text/plain; charset=") + bodyCharsetLabel(bodyEncoding));
    textHeaders.appendValue(QStringLiteral("Content-Transfer-Encoding"), transferEncodingName(transfer));
    for (const QString &line : extraHeaders.lines())
        headers.append(line);
    lastGeneratedHeaders = std::move(headers);
    lastTransferEncoding = transfer;
}
