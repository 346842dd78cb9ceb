#include "Attachment.h"
#include "MailMessage.h"
#include "SmtpSession.h"

#include "AiosmtpdServer.h"
#include "Printers.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>

#include <memory>

using testsupport::AiosmtpdServer;

namespace {

struct FileCase
{
    const char *what;
    QString name;
    QByteArray content;
    QString type;
};

QByteArray binaryBytes()
{
    QByteArray bytes;
    for (int round = 0; round < 3; ++round) {
        for (int b = 0; b < 256; ++b)
            bytes.append(char(b));
    }
    QByteArray noise(100000, Qt::Uninitialized);
    QRandomGenerator(30).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    return bytes + noise + QByteArray("\r\n.\r\n\n.\r\r\n", 10);
}

const QList<FileCase> &fileCases()
{
    static const QList<FileCase> cases{
        {"an ASCII name", QStringLiteral("price-list.pdf"), QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n"),
         QStringLiteral("application/pdf")},
        {"a Chinese name", QStringLiteral("2024年秋季价格表 最终版.xlsx"), QByteArray("PK\x03\x04 not really a workbook"),
         QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")},
        {"an empty file", QStringLiteral("空文件.txt"), QByteArray(), QStringLiteral("text/plain")},
        {"boundary-like text", QStringLiteral("boundary.txt"),
         QByteArray("--=_0123456789abcdef0123456789abcdef\r\n--=_\r\n.\r\nContent-Type: text/plain\r\n\r\n--=_--\r\n"),
         QStringLiteral("text/plain")},
        {"binary bytes", QStringLiteral("raw.qzx-unknown"), binaryBytes(), QStringLiteral("application/octet-stream")},
        {"a long name with quotes", QStringLiteral("很长的文件名").repeated(8) + QStringLiteral(" \"终稿\".pdf"),
         QByteArray("x"), QStringLiteral("application/pdf")},
    };
    return cases;
}

// Every file of the table goes to a real server over one connection, a message each, and reads
// back through Python's email package as typed: the text, the file's bytes, name and type; with
// 8BITMIME offered and without.
class AttachmentServerTest : public testing::TestWithParam<bool>
{
};

TEST_P(AttachmentServerTest, FilesArriveWithTheirNamesAndExactBytes)
{
    const bool eightBitMime = GetParam();
    AiosmtpdServer::Options options;
    options.eightBitMime = eightBitMime;
    AiosmtpdServer server(options);
    SmtpSession smtp;
    smtp.host = server.address();
    smtp.port = server.port();
    smtp.userName = server.user();
    smtp.password = server.password();
    smtp.timeouts = SmtpTimeouts::all(10000);
    // A plain server: the user agreed to the login in clear.
    smtp.cleartextLoginAgreed = true;
    smtp.connect();

    const QString text = QString::fromUtf8("你好， 张三,  \n本店新品价格表见附件。\n.\n--=_\n详情请回复本邮件。Grüße!");
    for (const FileCase &c : fileCases()) {
        MailMessage message;
        message.locale = QLocale(QLocale::Chinese, QLocale::China);
        message.charSet = QStringLiteral("utf-8");
        message.from().address = server.user();
        message.from().name = QString::fromUtf8("销售部");
        message.subject = QString::fromUtf8("价格表");
        message.recipients.setAddresses(QStringLiteral("zhangsan@example.test"));
        message.body = {text};
        message.attachment = std::make_shared<const Attachment>(c.name, c.content);
        smtp.send(message);
    }
    smtp.disconnect();

    const QList<testsupport::ReceivedMessage> received = server.waitForMessages(int(fileCases().size()));
    ASSERT_EQ(received.size(), fileCases().size());
    for (qsizetype i = 0; i < fileCases().size(); ++i) {
        const FileCase &c = fileCases()[i];
        SCOPED_TRACE(c.what);
        EXPECT_EQ(received[i].mailOptions,
                  eightBitMime ? QStringList{QStringLiteral("BODY=8BITMIME")} : QStringList());
        const QJsonObject parsed = testsupport::parseWithPythonEmail(received[i].path);
        EXPECT_EQ(parsed.value(QLatin1String("content_type")).toString(), QStringLiteral("multipart/mixed"));
        EXPECT_EQ(parsed.value(QLatin1String("defects")).toArray().size(), 0);
        // The text, then the empty line that ends every message text. Before a delimiter the last
        // line end belongs to the delimiter (RFC 2046), so a text part sent as it is shows one line
        // end; in base64 both travel inside the encoding.
        EXPECT_EQ(parsed.value(QLatin1String("body")).toString().remove(u'\r'),
                  text + (eightBitMime ? QStringLiteral("\n") : QStringLiteral("\n\n")));
        const QJsonArray parts = parsed.value(QLatin1String("parts")).toArray();
        ASSERT_EQ(parts.size(), 2);
        const QJsonObject textPart = parts[0].toObject();
        EXPECT_EQ(textPart.value(QLatin1String("content_type")).toString(), QStringLiteral("text/plain"));
        EXPECT_EQ(textPart.value(QLatin1String("charset")).toString(), QStringLiteral("utf-8"));
        EXPECT_EQ(textPart.value(QLatin1String("transfer_encoding")).toString(),
                  eightBitMime ? QStringLiteral("8bit") : QStringLiteral("base64"));
        const QJsonObject file = parts[1].toObject();
        EXPECT_EQ(file.value(QLatin1String("content_type")).toString(), c.type);
        EXPECT_EQ(file.value(QLatin1String("disposition")).toString(), QStringLiteral("attachment"));
        EXPECT_EQ(file.value(QLatin1String("transfer_encoding")).toString(), QStringLiteral("base64"));
        EXPECT_EQ(file.value(QLatin1String("filename")).toString(), c.name);
        EXPECT_EQ(file.value(QLatin1String("name")).toString(), c.name);
        EXPECT_EQ(file.value(QLatin1String("older_filename")).toString(), c.name);
        EXPECT_EQ(file.value(QLatin1String("older_name")).toString(), c.name);
        EXPECT_EQ(QByteArray::fromBase64(file.value(QLatin1String("data")).toString().toLatin1()), c.content);
    }
}

INSTANTIATE_TEST_SUITE_P(Server, AttachmentServerTest, testing::Values(true, false),
                         [](const auto &info) { return info.param ? "With8BitMime" : "Without8BitMime"; });

} // namespace
