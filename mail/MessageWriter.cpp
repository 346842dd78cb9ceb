#include "MessageWriter.h"

#include "BodyCoding.h"

void writeMessageText(LineSink &sink, MailMessage &msg, bool eightBitMime)
{
    msg.generateHeader(eightBitMime);
    sink.writeBlock(msg.lastGeneratedHeaders.lines());
    sink.writeLine(QString());

    const TextEncoding encoding = bodyTextEncoding(msg.charSet);
    if (msg.lastTransferEncoding != TransferEncoding::Base64) {
        forEachBodyLine(msg.body, [&](QStringView line) { sink.writeDotStuffedLine(line, encoding); });
        sink.writeLine(QString());
        return;
    }
    // The same octets as the other encodings carry, so a reader shows the same text whichever the
    // server allowed.
    QByteArray octets;
    forEachBodyLine(msg.body, [&](QStringView line) { LineSink::appendLine(octets, line, encoding); });
    octets += "\r\n";
    sink.writeBlock(base64Lines(octets));
}
