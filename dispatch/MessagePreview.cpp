#include "MessagePreview.h"

#include "MemorySink.h"
#include "MessageWriter.h"

#include <QRegularExpression>

namespace {

// An address as a reader lists it: the name, when there is one, with the address in brackets.
QString readerText(const MailAddressList &list)
{
    QStringList items;
    for (const MailAddress &item : list)
        items.append(item.name.isEmpty() ? item.address : item.name + QStringLiteral(" <") + item.address + u'>');
    return items.join(QStringLiteral(", "));
}

} // namespace

MessagePreview previewMessage(const SenderBoxes &sender, const MailText &mail, const Recipient &customer,
                              bool eightBitMime, const RefusalOption &refusal,
                              std::shared_ptr<const Attachment> file)
{
    MailMessage message = customerMessage(sender, mail, customer, refusal, std::move(file));
    MessagePreview preview;
    // Read before the writer runs: generating the header gives a nameless sender its address as
    // name, which a reader would not show twice.
    preview.from = readerText(message.fromList);
    preview.to = readerText(message.recipients);
    preview.subject = message.subject;
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r"));
    preview.body = message.body.join(u'\n').replace(lineBreak, QStringLiteral("\n"));

    MemorySink sink;
    writeMessageText(sink, message, eightBitMime);
    preview.dataText = sink.bytes();
    return preview;
}
