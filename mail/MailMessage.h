#pragma once

#include "BodyCoding.h"
#include "Attachment.h"
#include "Charsets.h"
#include "Clock.h"
#include "HeaderList.h"
#include "MailAddress.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <memory>

enum class MessageEncoding { Default, Mime, PlainText };

// A plain-text Internet message, a single text/plain MIME part, or with a file a multipart/mixed one
// of the text part and the file: its fields, and the header lines it becomes.
class MailMessage
{
public:
    QString charSet;
    MailAddressList fromList;
    MailAddress sender;
    QString subject;
    MailAddressList recipients;
    MailAddressList ccList;
    MailAddressList bccList;
    MailAddressList replyTo;
    QStringList body;
    HeaderList extraHeaders;
    MessageEncoding encoding = MessageEncoding::Default;
    // The Message-ID, angle brackets included; generateHeader makes a new one when it is empty and
    // keeps it here, so a message written again carries the same one.
    QString messageId;
    HeaderList lastGeneratedHeaders;
    // The transfer encoding the last generated header declares for the body.
    TransferEncoding lastTransferEncoding = TransferEncoding::SevenBit;
    // The file that goes with the text; none when null. A run makes it once and gives every
    // message the same one.
    std::shared_ptr<const Attachment> attachment;
    // With a file, as the last generated header made them: the boundary between the parts and the
    // header lines of the text part and of the file's. Empty without one.
    QString lastBoundary;
    HeaderList lastTextPartHeaders;
    HeaderList lastAttachmentHeaders;

    // The locale whose language and country choose the header charset; the process locale unless
    // a test sets another.
    QLocale locale = processLocale();
    // Where the Date line's moment comes from; the system clock unless a test sets another.
    const Clock *clock = &systemClock();

    // The first sender, appended empty when there is none yet.
    MailAddress &from();

    // How the body travels, given whether the server takes 8-bit data (8BITMIME).
    TransferEncoding bodyTransferEncoding(bool eightBitMime) const;

    // Fills lastGeneratedHeaders with From, Subject, To, Cc, Reply-To and Date (those with a value),
    // Message-ID, MIME-Version, Content-Type and Content-Transfer-Encoding, then the extraHeaders;
    // with a file, the boundary and the part headers too.
    // Encoded words are in the locale's header charset, or in UTF-8 for a header whose text that
    // charset cannot hold. Raises MailError when the header charset has no converter or the time
    // zone cannot be read, or when an address would break the header.
    void generateHeader(bool eightBitMime = false);
};
