#include "MessageWriter.h"

namespace {

// The body's charset as the line writer knows it: anything but UTF-8 or ASCII goes out as Latin-1.
TextEncoding bodyEncoding(const QString &charSet)
{
    if (charSet.compare(u"utf-8", Qt::CaseInsensitive) == 0 || charSet.compare(u"utf8", Qt::CaseInsensitive) == 0)
        return TextEncoding::Utf8;
    if (charSet.compare(u"us-ascii", Qt::CaseInsensitive) == 0)
        return TextEncoding::Ascii;
    return TextEncoding::Latin1;
}

// The body as lines: every item divided at each CR LF, lone CR and lone LF; the text after the
// last break, even when empty, is a line too.
QStringList bodyLines(const QStringList &body)
{
    QStringList lines;
    for (const QString &item : body) {
        qsizetype start = 0;
        for (qsizetype i = 0; i < item.size(); ++i) {
            const QChar c = item.at(i);
            if (c != u'\r' && c != u'\n')
                continue;
            lines.append(item.mid(start, i - start));
            if (c == u'\r' && i + 1 < item.size() && item.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
        lines.append(item.mid(start));
    }
    return lines;
}

} // namespace

void writeMessageText(LineSink &sink, MailMessage &msg)
{
    msg.generateHeader();
    sink.writeBlock(msg.lastGeneratedHeaders.lines());
    sink.writeLine(QString());
    sink.writeDotStuffedLines(bodyLines(msg.body), bodyEncoding(msg.charSet));
    sink.writeLine(QString());
}
