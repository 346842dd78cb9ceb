#include "Error.h"
#include "Printers.h"
#include "ServerText.h"

#include <gtest/gtest.h>

void PrintTo(const ServerAddress &a, std::ostream *os)
{
    PrintTo(a.host, os);
    *os << ':' << a.port;
}

namespace {

struct ServerCase
{
    const char *name;
    QString text;
    ServerAddress expected;

    friend void PrintTo(const ServerCase &c, std::ostream *os) { *os << c.name; }
};

class ServerTextTest : public ::testing::TestWithParam<ServerCase>
{
};

TEST_P(ServerTextTest, GivesHostAndPort)
{
    EXPECT_EQ(parseServerText(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, ServerTextTest,
    ::testing::Values(
        ServerCase{"BareHostIsPort25", QStringLiteral("smtp.example.com"), {QStringLiteral("smtp.example.com"), 25}},
        // The host is used exactly as typed, as for a bare host.
        ServerCase{"BareHostKeepsItsBlanks", QStringLiteral(" mail.test "), {QStringLiteral(" mail.test "), 25}},
        ServerCase{"ImplicitTls", QStringLiteral("smtp.qq.com:465"), {QStringLiteral("smtp.qq.com"), 465}},
        ServerCase{"Submission", QStringLiteral("smtp.163.com:587"), {QStringLiteral("smtp.163.com"), 587}},
        ServerCase{"Address", QStringLiteral("127.0.0.1:2525"), {QStringLiteral("127.0.0.1"), 2525}},
        ServerCase{"LowestPort", QStringLiteral("h:1"), {QStringLiteral("h"), 1}},
        ServerCase{"HighestPort", QStringLiteral("h:65535"), {QStringLiteral("h"), 65535}},
        ServerCase{"LeadingZeros", QStringLiteral("h:0587"), {QStringLiteral("h"), 587}},
        ServerCase{"EmptyText", QString(), {QString(), 25}}),
    [](const auto &info) { return std::string(info.param.name); });

// Every port that is not a number from 1 to 65535 is refused with a message naming the box's text.
TEST(ServerText, BadPortsAreRefusedNamingTheText)
{
    for (const QString &text :
         {QStringLiteral("h:"), QStringLiteral("h:0"), QStringLiteral("h:65536"),
          QStringLiteral("h:99999999999999999999"), QStringLiteral("h:-1"), QStringLiteral("h:+25"),
          QStringLiteral("h: 465"), QStringLiteral("h:465 "), QStringLiteral("h:smtp"), QStringLiteral("h:４６５"),
          QStringLiteral("h:a:25"), QStringLiteral("[::1]:25")}) {
        SCOPED_TRACE(text.toStdString());
        try {
            parseServerText(text);
            ADD_FAILURE() << "accepted";
        } catch (const Error &e) {
            EXPECT_EQ(e.message(),
                      QStringLiteral("SMTP服务器“%1”的端口无效：端口应是 1 到 65535 之间的数字").arg(text));
        }
    }
}

} // namespace
