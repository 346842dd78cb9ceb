#include "mail/IdMessage.h"

#include "mail/IdCharsets.h"
#include "mail/IdErrors.h"
#include "mail/IdHeaderCoding.h"
#include "mail/IdReplySMTP.h"

namespace {

// An address goes into the header as it stands, never quoted or encoded, so one holding a line
// break or another control character inside would write header text of its own.
void checkAddresses(const TIdEMailAddressList &list)
{
    for (const TIdEMailAddressItem &item : list) {
        for (const QChar c : trimControls(item.Address)) {
            if (c.unicode() < 32 || c.unicode() == 127)
                throw EIdInvalidAddress(item.Address);
        }
    }
}

} // namespace

TIdEMailAddressItem &TIdMessage::From()
{
    if (FromList.Count() == 0)
        return FromList.Add();
    return FromList[0];
}

void TIdMessage::GenerateHeader()
{
    if (Encoding == meDefault)
        Encoding = mePlainText;

    const IdCharsetEncoder encoder(IdHeaderCharsetFor(Locale));
    const QString date = IdDateValue(Clock->Now());
    for (const TIdEMailAddressList *list : {&FromList, &Recipients, &CCList, &ReplyTo})
        checkAddresses(*list);

    for (TIdEMailAddressItem &item : FromList) {
        if (item.Name.isEmpty())
            item.Name = item.Address;
    }

    TIdHeaderList headers;
    headers.setValue(QStringLiteral("From"), EncodeAddressList(FromList, encoder));
    headers.setValue(QStringLiteral("Subject"), EncodeHeader(IdSingleLine(Subject), {}, encoder));
    headers.setValue(QStringLiteral("To"), EncodeAddressList(Recipients, encoder));
    headers.setValue(QStringLiteral("Cc"), EncodeAddressList(CCList, encoder));
    headers.setValue(QStringLiteral("Reply-To"), EncodeAddressList(ReplyTo, encoder));
    headers.setValue(QStringLiteral("Date"), date);
    for (const QString &line : ExtraHeaders.lines())
        headers.append(line);
    LastGeneratedHeaders = std::move(headers);
}
