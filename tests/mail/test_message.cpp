#include "MailErrors.h"
#include "MailMessage.h"
#include "MemorySink.h"
#include "MessageId.h"
#include "MessageWriter.h"

#include "MessageFixtures.h"
#include "Printers.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSysInfo>

#include <functional>
#include <random>

namespace {

class MessageWriting : public testing::Test
{
protected:
    MessageWriting()
    {
        msg.locale = chinaLocale();
        msg.clock = &clock;
    }

    // The message as the send run fills it for one customer.
    void fill(const QString &senderName, const QString &senderAddress, const QString &subject,
              const QString &customerName, const QString &customerAddress, const QString &content)
    {
        msg.charSet = QStringLiteral("utf-8");
        msg.from().address = senderAddress;
        msg.subject = subject;
        msg.from().name = senderName;
        msg.replyTo.setAddresses(senderAddress);
        msg.recipients.setAddresses(customerAddress);
        msg.body = {QStringLiteral("你好， ") + customerName + QStringLiteral(",  \n") + content};
    }

    // The DATA text for a server that takes 8-bit data unless told otherwise.
    QByteArray written(bool eightBitMime = true)
    {
        MemorySink sink;
        writeMessageText(sink, msg, eightBitMime);
        return sink.bytes();
    }

    // The lines of one generated header: its line and the continuation lines after it.
    QStringList header(const QString &name)
    {
        msg.generateHeader();
        const QStringList &lines = msg.lastGeneratedHeaders.lines();
        qsizetype i = 0;
        while (i < lines.size() && !lines[i].startsWith(name + u':'))
            ++i;
        QStringList found;
        if (i < lines.size())
            found.append(lines[i++]);
        while (!found.isEmpty() && i < lines.size() && lines[i].startsWith(u' '))
            found.append(lines[i++]);
        return found;
    }

    FixedClock clock{sampleMoment()};
    MailMessage msg;
};

TEST_F(MessageWriting, WritesTheDataTextByteForByte)
{
    fill(QStringLiteral("销售部"), QStringLiteral("a@b"), QStringLiteral("新品介绍"), QStringLiteral("客户甲"),
         QStringLiteral("c@d"), QStringLiteral("第一行\n第二行"));
    msg.messageId = QStringLiteral("<20120903060509.4242.1.0123456789abcdef@b>");
    const QByteArray header("From: =?GB2312?B?z/rK27K/?= <a@b>\r\n"
                            "Subject: =?GB2312?B?0MLGt73pydw=?=\r\n"
                            "To: c@d\r\n"
                            "Reply-To: a@b\r\n"
                            "Date: Mon, 3 Sep 2012 14:05:09 +0800\r\n"
                            "Message-ID: <20120903060509.4242.1.0123456789abcdef@b>\r\n"
                            "MIME-Version: 1.0\r\n"
                            "Content-Type: text/plain; charset=UTF-8\r\n");

    // A server that takes 8-bit data gets the body lines as they are.
    MemorySink sink;
    writeMessageText(sink, msg, true);
    EXPECT_EQ(sink.bytes(),
              header
                  + "Content-Transfer-Encoding: 8bit\r\n"
                    "\r\n"
                    "你好， 客户甲,  \r\n"
                    "第一行\r\n"
                    "第二行\r\n"
                    "\r\n");
    // The header lines are handed over as one write.
    EXPECT_EQ(sink.writes.first(), sink.bytes().left(sink.bytes().indexOf("\r\n\r\n") + 2));
    EXPECT_EQ(msg.encoding, MessageEncoding::PlainText);

    // Any other gets the same octets, the last empty line included, in base64.
    MemorySink sevenBit;
    writeMessageText(sevenBit, msg, false);
    EXPECT_EQ(sevenBit.bytes(),
              header
                  + "Content-Transfer-Encoding: base64\r\n"
                    "\r\n"
                    "5L2g5aW977yMIOWuouaIt+eUsiwgIA0K56ys5LiA6KGMDQrnrKzkuozooYwNCg0K\r\n");
}

TEST_F(MessageWriting, CustomerWithoutNameKeepsTheGreetingBlanks)
{
    fill(QStringLiteral("S"), QStringLiteral("a@b"), QStringLiteral("s"), QString(), QStringLiteral("c@d"),
         QStringLiteral("x"));
    EXPECT_TRUE(written().endsWith("\r\n\r\n你好， ,  \r\nx\r\n\r\n"));
}

// One header line for given inputs, under the Chinese (PRC) locale unless the case says otherwise.
struct HeaderCase
{
    const char *what;
    std::function<void(MailMessage &)> fill;
    QString header;
    QStringList expected; // empty: no such header
    QLocale locale = chinaLocale();
};

void PrintTo(const HeaderCase &c, std::ostream *os)
{
    *os << c.what;
}

class HeaderLines : public MessageWriting, public testing::WithParamInterface<HeaderCase>
{
};

TEST_P(HeaderLines, AreWrittenAsExpected)
{
    msg.locale = GetParam().locale;
    GetParam().fill(msg);
    EXPECT_EQ(header(GetParam().header), GetParam().expected);
    EXPECT_FALSE(msg.lastGeneratedHeaders.value(QStringLiteral("Date")).isEmpty()) << "the Date line is always there";
}

auto sender(const char *name, const char *address)
{
    return [=](MailMessage &m) {
        m.from().address = QString::fromUtf8(address);
        m.from().name = QString::fromUtf8(name);
    };
}

auto subject(const char *text)
{
    return [=](MailMessage &m) { m.subject = QString::fromUtf8(text); };
}

auto recipients(const char *listText)
{
    return [=](MailMessage &m) { m.recipients.setAddresses(QString::fromUtf8(listText)); };
}

QStringList line(const char *text)
{
    return {QString::fromUtf8(text)};
}

INSTANTIATE_TEST_SUITE_P(
    Examples, HeaderLines,
    testing::Values(
        HeaderCase{"name empty", sender("", "a@b"), "From", line("From: \"a@b\" <a@b>")},
        HeaderCase{"name and address empty", sender("", ""), "From", {}},
        HeaderCase{"ASCII name", sender("Sales", "a@b"), "From", line("From: \"Sales\" <a@b>")},
        HeaderCase{"Chinese name with specials", sender("销售部 (East)", "a@b"), "From",
                   line("From: =?GB2312?B?z/rK27K/IChFYXN0KQ==?= <a@b>")},
        HeaderCase{"quote and backslash in a name", sender("Say \"hi\" \\o/", "a@b"), "From",
                   line("From: \"Say \\\"hi\\\" \\\\o/\" <a@b>")},
        HeaderCase{"subject Re:", subject("Re: 新品"), "Subject", line("Subject: Re: =?GB2312?B?0MLGtw==?=")},
        HeaderCase{"subject with =", subject("a=b 新"), "Subject", line("Subject: a=b =?GB2312?B?0MI=?=")},
        HeaderCase{"subject holding an encoded word", subject("a=b =?UTF-8?B?5paw?= 新"), "Subject",
                   line("Subject: =?GB2312?B?YT1iID0/VVRGLTg/Qj81cGF3Pz0g0MI=?=")},
        HeaderCase{"empty subject", subject(""), "Subject", {}},
        HeaderCase{"two recipients", recipients("a@b, c@d"), "To", line("To: a@b, c@d")},
        HeaderCase{"recipient with a name",
                   [](MailMessage &m) {
                       MailAddress &item = m.recipients.add();
                       item.address = QStringLiteral("a@b");
                       item.name = QStringLiteral("Sales, East");
                   },
                   "To", line("To: \"Sales, East\" <a@b>")},
        HeaderCase{"no recipient", recipients(""), "To", {}},
        HeaderCase{"no reply-to", recipients("a@b"), "Reply-To", {}},
        HeaderCase{"copy recipients", [](MailMessage &m) { m.ccList.setAddresses(QStringLiteral("c@d")); }, "Cc",
                   line("Cc: c@d")},
        HeaderCase{"blind copies are never written",
                   [](MailMessage &m) { m.bccList.setAddresses(QStringLiteral("c@d")); },
                   "Bcc",
                   {}},
        HeaderCase{"extra header after Date",
                   [](MailMessage &m) { m.extraHeaders.setValue(QStringLiteral("X-Mailer"), QStringLiteral("Q")); },
                   "X-Mailer", line("X-Mailer: Q")},
        HeaderCase{"subject under another locale", subject("新品介绍"), "Subject",
                   line("Subject: =?UTF-8?B?5paw5ZOB5LuL57uN?="), QLocale(QLocale::English, QLocale::UnitedStates)},
        // A character outside the BMP is one character: one "?" where the charset lacks it, and never
        // split between two encoded words.
        // A header text the locale's charset cannot hold goes in UTF-8 words, nothing becoming "?";
        // only that header: the others keep the locale's charset.
        HeaderCase{"non-BMP character under GB2312", subject("新😀"), "Subject",
                   line("Subject: =?UTF-8?B?5paw8J+YgA==?=")},
        HeaderCase{"euro sign under GB2312", subject("€ 新品"), "Subject",
                   line("Subject: =?UTF-8?B?4oKsIOaWsOWTgQ==?=")},
        HeaderCase{"GBK beyond GB2312 under the GB2312 label", subject("優惠"), "Subject",
                   line("Subject: =?UTF-8?B?5YSq5oOg?=")},
        HeaderCase{"simplified characters under Big5", subject("简体"), "Subject",
                   line("Subject: =?UTF-8?B?566A5L2T?="), QLocale(QLocale::Chinese, QLocale::Taiwan)},
        HeaderCase{"sender name GB2312 cannot hold", sender("Müller 😀", "a@b"), "From",
                   line("From: =?UTF-8?B?TcO8bGxlciDwn5iA?= <a@b>")},
        HeaderCase{"recipient name GB2312 cannot hold, sender name it can",
                   [](MailMessage &m) {
                       m.from().address = QStringLiteral("a@b");
                       m.from().name = QStringLiteral("销售部");
                       m.recipients.setAddresses(QStringLiteral("\"Müller 😀\" <c@d>"));
                   },
                   "To", line("To: =?UTF-8?B?TcO8bGxlciDwn5iA?= <c@d>")},
        HeaderCase{"the sender name keeps GB2312 beside it",
                   [](MailMessage &m) {
                       m.from().address = QStringLiteral("a@b");
                       m.from().name = QStringLiteral("销售部");
                       m.recipients.setAddresses(QStringLiteral("\"Müller 😀\" <c@d>"));
                   },
                   "From", line("From: =?GB2312?B?z/rK27K/?= <a@b>")},
        HeaderCase{"non-BMP character at a word boundary",
                   subject("新新新新新新新新新新新新新新😀"),
                   "Subject",
                   {QStringLiteral("Subject: =?UTF-8?B?5paw5paw5paw5paw5paw5paw5paw5paw5paw5paw5paw5paw5paw5paw?="),
                    QStringLiteral(" =?UTF-8?B?8J+YgA==?=")},
                   QLocale(QLocale::English, QLocale::UnitedStates)}));

// Each locale row gives its label and its conversion.
struct CharsetCase
{
    QLocale locale;
    const char *subject;
    const char *line;
};

void PrintTo(const CharsetCase &c, std::ostream *os)
{
    *os << c.locale.name().toStdString();
}

class HeaderCharsets : public MessageWriting, public testing::WithParamInterface<CharsetCase>
{
};

TEST_P(HeaderCharsets, LabelAndConversionFollowTheLocale)
{
    msg.locale = GetParam().locale;
    msg.subject = QString::fromUtf8(GetParam().subject);
    EXPECT_EQ(header(QStringLiteral("Subject")), line(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(
    SevenLabels, HeaderCharsets,
    testing::Values(
        CharsetCase{QLocale(QLocale::Chinese, QLocale::China), "新品", "Subject: =?GB2312?B?0MLGtw==?="},
        CharsetCase{QLocale(QLocale::Chinese, QLocale::Taiwan), "新品", "Subject: =?Big5?B?t3Orfg==?="},
        CharsetCase{QLocale(QLocale::Japanese, QLocale::Japan), "新品", "Subject: =?ISO-2022-JP?B?GyRCPzdJShsoQg==?="},
        CharsetCase{QLocale(QLocale::Korean, QLocale::SouthKorea), "신품", "Subject: =?csEUCKR?B?vcXHsA==?="},
        CharsetCase{QLocale(QLocale::Russian, QLocale::Russia), "Новинка", "Subject: =?KOI8-R?B?7s/Xyc7LwQ==?="},
        CharsetCase{QLocale(QLocale::Ukrainian, QLocale::Ukraine), "Новинка",
                    "Subject: =?windows-1251?B?ze7i6O3q4A==?="},
        CharsetCase{QLocale(QLocale::German, QLocale::Germany), "新品", "Subject: =?UTF-8?B?5paw5ZOB?="}));

TEST_F(MessageWriting, ThirtyEightCharacterSubjectFoldsIntoTwoEncodedWords)
{
    msg.subject = QStringLiteral("新品").repeated(19);
    const QStringList lines = header(QStringLiteral("Subject"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], u"Subject:");
    EXPECT_EQ(lines[1], u" =?GB2312?B?0MLGt9DCxrfQwsa30MLGt9DCxrfQwsa30MLGt9DCxrfQwsa30MLGt9DCxrc=?=");
    EXPECT_EQ(lines[1].size(), 1 + 73);
    EXPECT_EQ(lines[2], u" =?GB2312?B?0MLGt9DCxrfQwsa30MLGt9DCxrfQwsa30MLGt9DCxrc=?=");
}

TEST_F(MessageWriting, JapaneseEncodedWordsEachStandAlone)
{
    // Every word shifts back to ASCII before it ends, so each decodes on its own.
    msg.locale = QLocale(QLocale::Japanese, QLocale::Japan);
    msg.subject = QStringLiteral("新品").repeated(15);
    EXPECT_EQ(
        header(QStringLiteral("Subject")),
        QStringList({QStringLiteral("Subject:"),
                     QStringLiteral(" =?ISO-2022-JP?B?GyRCPzdJSj83SUo/N0lKPzdJSj83SUo/N0lKPzdJSj83SUo/N0lKGyhC?="),
                     QStringLiteral(" =?ISO-2022-JP?B?GyRCPzdJSj83SUo/N0lKPzdJSj83SUo/N0lKGyhC?=")}));
}

TEST_F(MessageWriting, LongToLineContinuesOnBlankLines)
{
    msg.recipients.setAddresses(
        QStringLiteral("first.customer@example.com, second.customer@example.com, third.customer@example.com"));
    EXPECT_EQ(header(QStringLiteral("To")),
              QStringList({QStringLiteral("To: first.customer@example.com, second.customer@example.com,"),
                           QStringLiteral(" third.customer@example.com")}));
}

TEST_F(MessageWriting, NonAsciiAddressGoesOutWithQuestionMarks)
{
    msg.recipients.setAddresses(QStringLiteral("张三@b"));
    const QByteArray data = written();
    EXPECT_TRUE(data.startsWith("To: ??@b\r\n")) << data.toStdString();
}

TEST_F(MessageWriting, DateLineCarriesTheLocalOffset)
{
    FixedClock west(sampleMoment(-5 * 3600));
    msg.clock = &west;
    EXPECT_EQ(header(QStringLiteral("Date")), line("Date: Mon, 3 Sep 2012 14:05:09 -0500"));
}

TEST_F(MessageWriting, UnreadableTimeZoneFailsBeforeAnyLine)
{
    FixedClock broken{QDateTime()};
    msg.clock = &broken;
    msg.subject = QStringLiteral("s");
    MemorySink sink;
    try {
        writeMessageText(sink, msg);
        FAIL() << "no error";
    } catch (const MailError &e) {
        EXPECT_EQ(e.message(), u"无法取得时区信息，邮件的日期无法写出");
    }
    EXPECT_TRUE(sink.writes.isEmpty());
}

// Body items become dot-stuffed lines: each CR LF, lone CR and lone LF ends a line.
struct BodyCase
{
    QStringList body;
    QByteArray lines;
};

void PrintTo(const BodyCase &c, std::ostream *os)
{
    *os << c.lines.toStdString();
}

class BodyWriting : public MessageWriting, public testing::WithParamInterface<BodyCase>
{
};

TEST_P(BodyWriting, GivesTheseLines)
{
    msg.charSet = QStringLiteral("UTF-8");
    msg.body = GetParam().body;
    const QByteArray data = written();
    EXPECT_EQ(data.mid(data.indexOf("\r\n\r\n") + 4), GetParam().lines + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Lines, BodyWriting,
                         testing::Values(BodyCase{{QStringLiteral(".")}, "..\r\n"},
                                         BodyCase{{QStringLiteral(".hidden\nnot.this")}, "..hidden\r\nnot.this\r\n"},
                                         BodyCase{{QStringLiteral("a\r\nb\rc\nd")}, "a\r\nb\r\nc\r\nd\r\n"},
                                         BodyCase{{QStringLiteral("ends\n")}, "ends\r\n\r\n"},
                                         BodyCase{{QString(), QStringLiteral("x  ")}, "\r\nx  \r\n"},
                                         BodyCase{{QStringLiteral("第一行")}, "第一行\r\n"}));

TEST_F(MessageWriting, BodyWithoutKnownCharsetGoesOutAsLatin1)
{
    msg.body = {QStringLiteral("é新")};
    const QByteArray data = written();
    EXPECT_EQ(data.mid(data.indexOf("\r\n\r\n") + 4), QByteArray("\xE9?\r\n\r\n"));
    EXPECT_TRUE(data.contains("\r\nContent-Type: text/plain; charset=ISO-8859-1\r\n")) << data.toStdString();
}

TEST_F(MessageWriting, FromNameTakesTheAddressAndOnlyThat)
{
    msg.from().address = QStringLiteral("a@b");
    msg.subject = QStringLiteral("s");
    msg.generateHeader();
    EXPECT_EQ(msg.from().name, u"a@b");
    EXPECT_EQ(msg.subject, u"s");
}

// A line break in a subject or display name becomes a blank, so no text can add a header line of
// its own; an address is never rewritten, so one holding a control character fails the message.
struct InjectionCase
{
    const char *what;
    std::function<void(MailMessage &)> fill;
    QString header;
    QStringList expected;
};

void PrintTo(const InjectionCase &c, std::ostream *os)
{
    *os << c.what;
}

class Injection : public MessageWriting, public testing::WithParamInterface<InjectionCase>
{
};

TEST_P(Injection, AddsNoHeaderLine)
{
    GetParam().fill(msg);
    EXPECT_EQ(header(GetParam().header), GetParam().expected);
    for (const QString &l : msg.lastGeneratedHeaders.lines())
        EXPECT_FALSE(l.startsWith(u"Bcc")) << l.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Injection,
    testing::Values(InjectionCase{"subject CR LF", subject("Hi\r\nBcc: x@y"), "Subject", line("Subject: Hi  Bcc: x@y")},
                    InjectionCase{"subject LF", subject("Hi\nBcc: x@y"), "Subject", line("Subject: Hi Bcc: x@y")},
                    InjectionCase{"Chinese subject CR", subject("新品\r介绍"), "Subject",
                                  line("Subject: =?GB2312?B?0MLGtyC96cnc?=")},
                    InjectionCase{"display name", sender("Sales\r\nBcc: x@y", "a@b"), "From",
                                  line("From: \"Sales  Bcc: x@y\" <a@b>")},
                    InjectionCase{"line end after the sender address", sender("S", "a@b\r\n"), "From",
                                  line("From: \"S\" <a@b>")},
                    InjectionCase{"Chinese display name", sender("销售部\nBcc", "a@b"), "From",
                                  line("From: =?GB2312?B?z/rK27K/?= Bcc <a@b>")}));

TEST_F(MessageWriting, AddressWithControlCharacterFailsBeforeAnyLine)
{
    const QString smuggling = QStringLiteral("a@b\r\nBcc: x@y");
    const std::function<void(MailMessage &)> fills[] = {
        [&](MailMessage &m) { m.from().address = smuggling; },
        [&](MailMessage &m) { m.recipients.add().address = smuggling; },
        [&](MailMessage &m) { m.replyTo.add().address = smuggling; },
    };
    for (const auto &fill : fills) {
        MailMessage m;
        m.clock = &clock;
        fill(m);
        MemorySink sink;
        EXPECT_THROW(writeMessageText(sink, m), InvalidAddressError);
        EXPECT_TRUE(sink.writes.isEmpty());
    }
}

// Whatever a subject or display name holds, the header stays made of its own lines: each header
// line begins with a header name, each continuation with a blank, and no encoded word is longer
// than 75 characters.
TEST_F(MessageWriting, AnySubjectOrNameKeepsTheHeaderWellFormed)
{
    const QString alphabet = QStringLiteral("ab =?\"(),:新品😀\r\n\t");
    std::mt19937 random(11);
    std::uniform_int_distribution<int> pick(0, int(alphabet.size()) - 1);
    std::uniform_int_distribution<int> length(0, 60);
    const auto randomText = [&] {
        QString text;
        for (int i = length(random); i > 0; --i) {
            const QChar c = alphabet.at(pick(random));
            text += c.isSurrogate() ? QStringLiteral("😀") : QString(c);
        }
        return text;
    };
    for (int n = 0; n < 2000; ++n) {
        MailMessage m;
        m.locale = n % 2 ? chinaLocale() : QLocale(QLocale::Japanese, QLocale::Japan);
        m.clock = &clock;
        m.subject = randomText();
        m.from().name = randomText();
        m.from().address = QStringLiteral("a@b");
        m.generateHeader();
        for (const QString &l : m.lastGeneratedHeaders.lines()) {
            ASSERT_FALSE(l.contains(u'\r') || l.contains(u'\n')) << l.toStdString();
            static const QRegularExpression known(
                QStringLiteral("^( |From:|Subject:|Date: |Message-ID: |MIME-Version: |Content-Type: "
                               "|Content-Transfer-Encoding: )"));
            ASSERT_TRUE(known.match(l).hasMatch()) << l.toStdString();
            for (const QString &word : QString(l).replace(u'\t', u' ').split(u' ', Qt::SkipEmptyParts)) {
                if (word.startsWith(u"=?") && word.endsWith(u"?=")) {
                    ASSERT_LE(word.size(), 75) << l.toStdString();
                }
            }
        }
    }
}

// The body's transfer encoding: as it is when every line is short ASCII, 8-bit data only where the
// server takes it, base64 otherwise; whichever, the body carries the same octets.
struct TransferCase
{
    const char *what;
    QStringList body;
    bool eightBitMime;
    const char *transfer;
    QByteArray octets; // the body as a reader gets it after the blank line that ends the header
};

void PrintTo(const TransferCase &c, std::ostream *os)
{
    *os << c.what;
}

class TransferEncodings : public MessageWriting, public testing::WithParamInterface<TransferCase>
{
};

TEST_P(TransferEncodings, DeclareAndCarryTheBody)
{
    const TransferCase &c = GetParam();
    msg.charSet = QStringLiteral("utf-8");
    msg.body = c.body;
    const QByteArray data = written(c.eightBitMime);
    const qsizetype headerEnd = data.indexOf("\r\n\r\n") + 2;
    const QByteArray header = data.left(headerEnd);
    EXPECT_TRUE(header.endsWith(QByteArray("MIME-Version: 1.0\r\n"
                                           "Content-Type: text/plain; charset=UTF-8\r\n"
                                           "Content-Transfer-Encoding: ")
                                + c.transfer + "\r\n"))
        << header.toStdString();
    EXPECT_EQ(msg.bodyTransferEncoding(c.eightBitMime), msg.lastTransferEncoding);

    const QByteArray body = data.mid(headerEnd + 2);
    if (QByteArray(c.transfer) != "base64") {
        EXPECT_EQ(body, c.octets);
        return;
    }
    // RFC 2045 base64: lines of at most 76 characters, only 7-bit data on the wire.
    const QList<QByteArray> lines = body.chopped(1).split('\n');
    for (const QByteArray &l : lines) {
        EXPECT_TRUE(l.endsWith('\r'));
        EXPECT_LE(l.size() - 1, 76);
    }
    EXPECT_TRUE(std::all_of(body.begin(), body.end(), [](char b) { return uchar(b) < 0x80; }));
    EXPECT_EQ(QByteArray::fromBase64(body), c.octets);
}

const QString longAscii = QString(998, u'a');
const QString longChinese = QString(333, u'新'); // 999 octets of UTF-8

INSTANTIATE_TEST_SUITE_P(
    Bodies, TransferEncodings,
    testing::Values(
        TransferCase{
            "ASCII without 8BITMIME", {QStringLiteral("Hello,\n.\nbye")}, false, "7bit", "Hello,\r\n..\r\nbye\r\n\r\n"},
        TransferCase{"ASCII with 8BITMIME", {QStringLiteral("Hello")}, true, "7bit", "Hello\r\n\r\n"},
        TransferCase{"Chinese with 8BITMIME", {QStringLiteral("你好\n第一行")}, true, "8bit", "你好\r\n第一行\r\n\r\n"},
        TransferCase{
            "Chinese without 8BITMIME", {QStringLiteral("你好\n第一行")}, false, "base64", "你好\r\n第一行\r\n\r\n"},
        TransferCase{"a long Chinese text in several base64 lines",
                     {QStringLiteral("新品").repeated(60)},
                     false,
                     "base64",
                     QStringLiteral("新品").repeated(60).toUtf8() + "\r\n\r\n"},
        TransferCase{"ASCII line of 998 octets", {longAscii}, false, "7bit", longAscii.toLatin1() + "\r\n\r\n"},
        // Neither 7bit nor 8bit data may have a line over 998 octets.
        TransferCase{
            "ASCII line of 999 octets", {longAscii + u'a'}, true, "base64", longAscii.toLatin1() + "a\r\n\r\n"},
        TransferCase{"Chinese line of 999 octets", {longChinese}, true, "base64", longChinese.toUtf8() + "\r\n\r\n"},
        // NUL is left out of the text; the other controls stay as they are.
        TransferCase{"a NUL", {QStringLiteral("a") + QChar(0) + u'b'}, true, "7bit", "ab\r\n\r\n"},
        TransferCase{"other controls", {QStringLiteral("a\tb\x01c\x1b")}, false, "7bit", "a\tb\x01c\x1b\r\n\r\n"}));

TEST_F(MessageWriting, MessageIdIsMadeOnceAndUniquePerMessage)
{
    msg.from().address = QStringLiteral("sales@example.com");
    msg.generateHeader();
    static const QRegularExpression form(QStringLiteral("^<\\d{14}\\.\\d+\\.\\d+\\.[0-9a-f]{16}@example\\.com>$"));
    EXPECT_TRUE(form.match(msg.messageId).hasMatch()) << msg.messageId.toStdString();
    EXPECT_TRUE(msg.messageId.startsWith(u"<20120903060509."));
    EXPECT_EQ(msg.lastGeneratedHeaders.value(QStringLiteral("Message-ID")), msg.messageId);

    // Written again, the message keeps its id; the next message gets another.
    const QString first = msg.messageId;
    msg.generateHeader();
    EXPECT_EQ(msg.messageId, first);
    MailMessage next;
    next.clock = &clock;
    next.from().address = QStringLiteral("sales@example.com");
    next.generateHeader();
    EXPECT_NE(next.messageId, first);
}

// The domain of a Message-ID: the sender's, else this computer's name.
TEST(MessageIdDomain, ComesFromTheSenderAddress)
{
    const QString host = QSysInfo::machineHostName();
    static const QRegularExpression plainHost(QStringLiteral("^[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*$"));
    const QString local = plainHost.match(host).hasMatch() ? host : QStringLiteral("localhost");
    const struct
    {
        const char *address;
        QString domain;
    } cases[] = {
        {"a@b", QStringLiteral("b")},
        {" sales@Example.COM ", QStringLiteral("Example.COM")},
        {"\"a@x\"@example.com", QStringLiteral("example.com")},
        {"客户@例子.中国", QStringLiteral("xn--fsqu00a.xn--fiqs8s")},
        {"no-domain", local},
        {"a@", local},
        {"a@[192.0.2.1]", local},
        {"a@b c", local},
        {"", local},
    };
    for (const auto &c : cases)
        EXPECT_EQ(messageIdDomain(QString::fromUtf8(c.address)), c.domain) << c.address;
}

} // namespace
