#include "Attachment.h"
#include "MailMessage.h"
#include "MemorySink.h"
#include "MessageWriter.h"
#include "TextBuffer.h"

#include "MessageFixtures.h"
#include "Printers.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <memory>

namespace {

// The file's encoded lines: base64 in lines of 76 and a CR LF, across the block edges of the encoder.
class EncodedLines : public testing::TestWithParam<qsizetype>
{
};

TEST_P(EncodedLines, AreBase64OfTheBytesInLinesOf76)
{
    QByteArray content(GetParam(), Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char(i * 7 + i / 251);
    const Attachment file(QStringLiteral("a.bin"), content);
    const QByteArray lines = file.encodedLines();
    EXPECT_EQ(file.size(), content.size());
    EXPECT_EQ(QByteArray::fromBase64(lines), content);
    if (content.isEmpty()) {
        EXPECT_TRUE(lines.isEmpty());
        return;
    }
    ASSERT_TRUE(lines.endsWith("\r\n"));
    const QList<QByteArray> split = lines.chopped(2).split('\n');
    for (qsizetype i = 0; i < split.size(); ++i) {
        ASSERT_TRUE(split[i].endsWith('\r') || i == split.size() - 1);
        const QByteArray line = split[i].endsWith('\r') ? split[i].chopped(1) : split[i];
        EXPECT_EQ(line.size(), i + 1 < split.size() ? 76 : (content.size() % 57 ? (content.size() % 57 + 2) / 3 * 4 : 76));
        EXPECT_FALSE(line.startsWith('.'));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, EncodedLines, testing::Values(0, 1, 56, 57, 58, 57 * 1024 - 1, 57 * 1024, 57 * 1024 + 1, 200000));

// The part's type from the name's extension alone, whatever the content.
struct TypeCase
{
    const char *name;
    const char *type;
};

class FileTypes : public testing::TestWithParam<TypeCase>
{
};

TEST_P(FileTypes, ComeFromTheExtension)
{
    EXPECT_EQ(Attachment(QString::fromUtf8(GetParam().name), "%PDF-1.4").mimeType(), QLatin1String(GetParam().type));
}

INSTANTIATE_TEST_SUITE_P(Names, FileTypes,
                         testing::Values(TypeCase{"price-list.pdf", "application/pdf"},
                                         TypeCase{"价格表.xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
                                         TypeCase{"PHOTO.JPG", "image/jpeg"},
                                         TypeCase{"notes.txt", "text/plain"},
                                         TypeCase{"data.qzx-unknown", "application/octet-stream"},
                                         TypeCase{"", "application/octet-stream"}));

// The file part's header lines: the name in RFC 2231 form for current readers and in encoded words
// for older ones, never a line of its own however the name is made.
struct NameCase
{
    const char *what;
    QString name;
    QStringList lines;
};

void PrintTo(const NameCase &c, std::ostream *os)
{
    *os << c.what;
}

class PartHeaders : public testing::TestWithParam<NameCase>
{
};

TEST_P(PartHeaders, CarryTheName)
{
    const Attachment file(GetParam().name, "x");
    const HeaderList headers = file.partHeaders(threadEncoder(HeaderCharset{QStringLiteral("GB2312"), "GB18030"}));
    EXPECT_EQ(headers.lines(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PartHeaders,
    testing::Values(
        NameCase{"ASCII",
                 QStringLiteral("price list.pdf"),
                 {QStringLiteral("Content-Type: application/pdf; name=\"price list.pdf\""),
                  // No break inside the quotes: the line stays whole (well under 998 octets).
                  QStringLiteral("Content-Disposition: attachment; filename*=UTF-8''price%20list.pdf; filename=\"price list.pdf\""),
                  QStringLiteral("Content-Transfer-Encoding: base64")}},
        NameCase{"Chinese",
                 QStringLiteral("价格表.pdf"),
                 {QStringLiteral("Content-Type: application/pdf; name=\"=?GB2312?B?vNu48bHtLnBkZg==?=\""),
                  QStringLiteral("Content-Disposition: attachment;"),
                  QStringLiteral(" filename*=UTF-8''%E4%BB%B7%E6%A0%BC%E8%A1%A8.pdf; filename=\"=?GB2312?B?vNu48bHtLnBkZg==?=\""),
                  QStringLiteral("Content-Transfer-Encoding: base64")}},
        // A quote or backslash would end the quoted name or escape its end.
        NameCase{"quote and backslash",
                 QStringLiteral("a \"b\\\".txt"),
                 {QStringLiteral("Content-Type: text/plain; name=\"a =?GB2312?B?ImJcIi50eHQ=?=\""),
                  QStringLiteral("Content-Disposition: attachment; filename*=UTF-8''a%20%22b%5C%22.txt;"),
                  QStringLiteral(" filename=\"a =?GB2312?B?ImJcIi50eHQ=?=\""),
                  QStringLiteral("Content-Transfer-Encoding: base64")}},
        NameCase{"line break",
                 QStringLiteral("a\r\nX-Evil: 1.txt"),
                 {QStringLiteral("Content-Type: text/plain; name=\"a  X-Evil: 1.txt\""),
                  QStringLiteral("Content-Disposition: attachment; filename*=UTF-8''a%20%20X-Evil%3A%201.txt;"),
                  QStringLiteral(" filename=\"a  X-Evil: 1.txt\""), QStringLiteral("Content-Transfer-Encoding: base64")}},
        NameCase{"none",
                 QString(),
                 {QStringLiteral("Content-Type: application/octet-stream"),
                  QStringLiteral("Content-Disposition: attachment"),
                  QStringLiteral("Content-Transfer-Encoding: base64")}}));

TEST(PartHeaders, LongNameGoesInPiecesThatKeepEachByteWhole)
{
    const QString name = QStringLiteral("很长的文件名").repeated(8) + QStringLiteral(".pdf");
    const Attachment file(name, "x");
    const QString disposition
        = file.partHeaders(threadEncoder(HeaderCharset{QStringLiteral("UTF-8"), "UTF-8"})).value(QStringLiteral("Content-Disposition"));
    static const QRegularExpression piece(QStringLiteral("filename\\*(\\d+)\\*=(UTF-8'')?([^;]*)"));
    QByteArray joined;
    int count = 0;
    for (const QRegularExpressionMatch &m : piece.globalMatch(disposition)) {
        EXPECT_EQ(m.captured(1).toInt(), count);
        EXPECT_EQ(m.hasCaptured(2) && !m.captured(2).isEmpty(), count == 0);
        EXPECT_LE(m.captured(3).size(), 60);
        EXPECT_NE(m.captured(3).right(1), QStringLiteral("%"));
        EXPECT_NE(m.captured(3).right(2).left(1), QStringLiteral("%"));
        joined += m.captured(3).toLatin1();
        ++count;
    }
    EXPECT_GT(count, 1);
    EXPECT_EQ(QString::fromUtf8(QByteArray::fromPercentEncoding(joined)), name);
}

class AttachmentWriting : public testing::Test
{
protected:
    AttachmentWriting()
    {
        msg.locale = chinaLocale();
        msg.clock = &clock;
        msg.charSet = QStringLiteral("utf-8");
        msg.from().address = QStringLiteral("a@b");
        msg.recipients.setAddresses(QStringLiteral("c@d"));
        msg.messageId = QStringLiteral("<20120903060509.4242.1.0123456789abcdef@b>");
        msg.body = {QStringLiteral("你好， 客户甲,  \n第一行\n.")};
    }

    QByteArray written(bool eightBitMime)
    {
        MemorySink sink;
        writeMessageText(sink, msg, eightBitMime);
        return sink.bytes();
    }

    FixedClock clock{sampleMoment()};
    MailMessage msg;
};

TEST_F(AttachmentWriting, WritesTheTextPartThenTheFile)
{
    msg.attachment = std::make_shared<const Attachment>(QStringLiteral("价格表.pdf"), QByteArray("%PDF-1.4 tiny"));
    const QByteArray data = written(true);
    const QString boundary = msg.lastBoundary;
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^=_[0-9a-f]{32}$")).match(boundary).hasMatch()) << boundary.toStdString();
    const QByteArray b = boundary.toLatin1();
    EXPECT_EQ(data,
              "From: \"a@b\" <a@b>\r\n"
              "To: c@d\r\n"
              "Date: Mon, 3 Sep 2012 14:05:09 +0800\r\n"
              "Message-ID: <20120903060509.4242.1.0123456789abcdef@b>\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n"
              "Content-Transfer-Encoding: 8bit\r\n"
              "\r\n"
              "--" + b + "\r\n"
              "Content-Type: text/plain; charset=UTF-8\r\n"
              "Content-Transfer-Encoding: 8bit\r\n"
              "\r\n"
              "你好， 客户甲,  \r\n"
              "第一行\r\n"
              "..\r\n"
              "\r\n"
              "--" + b + "\r\n"
              "Content-Type: application/pdf; name=\"=?GB2312?B?vNu48bHtLnBkZg==?=\"\r\n"
              "Content-Disposition: attachment;\r\n"
              " filename*=UTF-8''%E4%BB%B7%E6%A0%BC%E8%A1%A8.pdf; filename=\"=?GB2312?B?vNu48bHtLnBkZg==?=\"\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "\r\n"
              "JVBERi0xLjQgdGlueQ==\r\n"
              "--" + b + "--\r\n");
    // The boundary follows the Message-ID, so the same message is written the same way again.
    EXPECT_EQ(written(true), data);
}

// The text part is the plain message's body byte for byte, whichever way it travels, and the
// server is asked for 8-bit data exactly as for the plain message.
struct TextPartCase
{
    const char *what;
    QString text;
    bool eightBitMime;
    const char *transfer;
    const char *outer;
};

void PrintTo(const TextPartCase &c, std::ostream *os)
{
    *os << c.what;
}

class TextParts : public AttachmentWriting, public testing::WithParamInterface<TextPartCase>
{
};

TEST_P(TextParts, AreThePlainBody)
{
    const TextPartCase &c = GetParam();
    msg.body = {c.text};
    const QByteArray plain = written(c.eightBitMime);
    const QByteArray plainBody = plain.mid(plain.indexOf("\r\n\r\n") + 4);
    const TransferEncoding plainTransfer = msg.bodyTransferEncoding(c.eightBitMime);

    msg.attachment = std::make_shared<const Attachment>(QStringLiteral("a.txt"), QByteArray("file"));
    const QByteArray data = written(c.eightBitMime);
    EXPECT_EQ(msg.bodyTransferEncoding(c.eightBitMime), plainTransfer);
    EXPECT_TRUE(data.contains("\r\nContent-Transfer-Encoding: " + QByteArray(c.outer) + "\r\n\r\n--"));
    const QByteArray delimiter = "--" + msg.lastBoundary.toLatin1();
    const QByteArray textPartStart = delimiter + "\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: "
                                     + c.transfer + "\r\n\r\n";
    const qsizetype start = data.indexOf(textPartStart);
    ASSERT_GE(start, 0) << data.toStdString();
    const qsizetype bodyStart = start + textPartStart.size();
    EXPECT_EQ(data.mid(bodyStart, data.indexOf(delimiter, bodyStart) - bodyStart), plainBody);
}

INSTANTIATE_TEST_SUITE_P(Bodies, TextParts,
                         testing::Values(TextPartCase{"ASCII", QStringLiteral("Hello,\n.\nbye"), false, "7bit", "7bit"},
                                         TextPartCase{"Chinese with 8BITMIME", QStringLiteral("你好\n第一行"), true, "8bit", "8bit"},
                                         TextPartCase{"Chinese without 8BITMIME", QStringLiteral("你好\n第一行"), false, "base64", "7bit"},
                                         TextPartCase{"a line of 999 octets", QString(999, u'a'), true, "base64", "7bit"}));

TEST_F(AttachmentWriting, TypedDelimiterLineMakesAnotherBoundary)
{
    msg.attachment = std::make_shared<const Attachment>(QStringLiteral("a.txt"), QByteArray("file"));
    msg.generateHeader(true);
    const QString first = msg.lastBoundary;
    msg.body = {QStringLiteral("before\n--") + first + QStringLiteral("\nafter\n--") + first + QStringLiteral("--")};
    const QByteArray data = written(true);
    EXPECT_NE(msg.lastBoundary, first);
    const QByteArray delimiter = "\r\n--" + msg.lastBoundary.toLatin1();
    // The delimiter after the header's blank line, between the parts and the closing one.
    EXPECT_EQ(data.count(delimiter), 3);
}

// Item 5 of a run: every message writes the file's encoded text from the one copy made for the run.
TEST_F(AttachmentWriting, EveryMessageWritesTheOneEncodedCopy)
{
    const auto file = std::make_shared<const Attachment>(QStringLiteral("big.bin"), QByteArray(300000, 'x'));
    for (int customer = 0; customer < 3; ++customer) {
        MailMessage message;
        message.locale = chinaLocale();
        message.from().address = QStringLiteral("a@b");
        message.recipients.setAddresses(QStringLiteral("c@d"));
        message.body = {QStringLiteral("hello")};
        message.attachment = file;
        TextBuffer text;
        writeMessageText(text, message, true);
        text.writeLine(QStringLiteral("."));
        ASSERT_EQ(text.pieces().size(), 3);
        EXPECT_EQ(text.pieces()[1].constData(), file->encodedLines().constData());
        EXPECT_TRUE(text.pieces()[2].endsWith("--\r\n.\r\n"));
    }
}

// A message without a file, its body in base64 too, still goes out in one write.
TEST_F(AttachmentWriting, PlainMessageIsOnePiece)
{
    TextBuffer text;
    writeMessageText(text, msg, false);
    text.writeLine(QStringLiteral("."));
    ASSERT_EQ(text.pieces().size(), 1);
    EXPECT_EQ(msg.lastTransferEncoding, TransferEncoding::Base64);
    EXPECT_EQ(text.pieces()[0], written(false) + ".\r\n");
}

} // namespace
