#include "MessageWriter.h"

#include "BodyCoding.h"

namespace {

// The body's lines as the last generated header declares them, and the empty line after them.
void writeBody(LineSink &sink, const MailMessage &msg)
{
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
    sink.writeBytes(base64CrLfLines(octets));
}

// A delimiter line and the header lines of the part it opens, with the empty line that ends them.
void writePartStart(LineSink &sink, const QString &delimiter, const HeaderList &headers)
{
    QStringList lines{delimiter};
    lines += headers.lines();
    lines.append(QString());
    sink.writeBlock(lines);
}

} // namespace

void writeMessageText(LineSink &sink, MailMessage &msg, bool eightBitMime)
{
    msg.generateHeader(eightBitMime);
    sink.writeBlock(msg.lastGeneratedHeaders.lines());
    sink.writeLine(QString());
    if (!msg.attachment) {
        writeBody(sink, msg);
        return;
    }
    // The text part as a plain message's body, then the file's encoded lines as they were made once
    // for the whole run.
    const QString delimiter = QLatin1String("--") + msg.lastBoundary;
    writePartStart(sink, delimiter, msg.lastTextPartHeaders);
    writeBody(sink, msg);
    writePartStart(sink, delimiter, msg.lastAttachmentHeaders);
    sink.writeBytes(msg.attachment->encodedLines());
    sink.writeLine(delimiter + QLatin1String("--"));
}
