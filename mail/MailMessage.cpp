#include "MailMessage.h"

#include "Charsets.h"
#include "HeaderCoding.h"
#include "MailErrors.h"
#include "MessageId.h"
#include "SmtpReply.h"

#include <optional>

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
        : m_locale(headerCharsetFor(locale))
    {
    }

    const CharsetEncoder &forTexts(const QStringList &texts)
    {
        if (std::all_of(texts.begin(), texts.end(), [this](const QString &t) { return m_locale.holds(t); }))
            return m_locale;
        if (!m_utf8)
            m_utf8.emplace(HeaderCharset{QStringLiteral("UTF-8"), "UTF-8"});
        return *m_utf8;
    }

    const CharsetEncoder &forNames(const MailAddressList &list)
    {
        QStringList names;
        for (const MailAddress &item : list)
            names.append(item.name);
        return forTexts(names);
    }

private:
    CharsetEncoder m_locale;
    std::optional<CharsetEncoder> m_utf8;
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
    return chooseTransferEncoding(bodyLines(body), bodyTextEncoding(charSet), eightBitMime);
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
    const TransferEncoding transfer = chooseTransferEncoding(bodyLines(body), bodyEncoding, eightBitMime);

    const QString subjectText = singleLine(subject);
    HeaderList headers;
    headers.setValue(QStringLiteral("From"), encodeAddressList(fromList, encoders.forNames(fromList)));
    headers.setValue(QStringLiteral("Subject"), encodeHeader(subjectText, {}, encoders.forTexts({subjectText})));
    headers.setValue(QStringLiteral("To"), encodeAddressList(recipients, encoders.forNames(recipients)));
    headers.setValue(QStringLiteral("Cc"), encodeAddressList(ccList, encoders.forNames(ccList)));
    headers.setValue(QStringLiteral("Reply-To"), encodeAddressList(replyTo, encoders.forNames(replyTo)));
    headers.setValue(QStringLiteral("Date"), date);
    headers.setValue(QStringLiteral("Message-ID"), messageId);
    headers.setValue(QStringLiteral("MIME-Version"), QStringLiteral("1.0"));
    headers.setValue(QStringLiteral("Content-Type"),
                     QStringLiteral("text/plain; charset=") + bodyCharsetLabel(bodyEncoding));
    headers.setValue(QStringLiteral("Content-Transfer-Encoding"), transferEncodingName(transfer));
    for (const QString &line : extraHeaders.lines())
        headers.append(line);
    lastGeneratedHeaders = std::move(headers);
    lastTransferEncoding = transfer;
}
