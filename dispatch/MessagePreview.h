#pragma once

#include "Greeting.h"

#include <QByteArray>
#include <QString>

// What one customer's message would be if it went out now.
struct MessagePreview
{
    // What a mail reader shows once it has decoded the message.
    QString from;
    QString to;
    QString subject;
    QString body; // lines separated by line feeds
    // The text the session would send after DATA, but for its final "." line: the Date and
    // Message-ID lines are those of this moment.
    QByteArray dataText;
};

// Writes the message through the run's own message and writer. `eightBitMime`: whether the server
// takes 8-bit data; without it a body that is not ASCII goes out in base64. Throws the writer's
// MailError when the message cannot be written (an address that would break a header).
MessagePreview previewMessage(const SenderBoxes &sender, const MailText &mail, const Recipient &customer,
                              bool eightBitMime, const RefusalOption &refusal = {},
                              std::shared_ptr<const Attachment> file = nullptr);
