#include "SmtpReply.h"

#include "Printers.h"

#include <gtest/gtest.h>

namespace {

struct EnhancedCase
{
    const char *text;
    bool taken;
    EnhancedStatusCode code;
    const char *rest;

    friend void PrintTo(const EnhancedCase &c, std::ostream *os) { *os << c.text; }
};

class EnhancedCodeTest : public ::testing::TestWithParam<EnhancedCase>
{
};

TEST_P(EnhancedCodeTest, TakesTheCodeOffTheText)
{
    const EnhancedCase &c = GetParam();
    QString text = QString::fromUtf8(c.text);
    EnhancedStatusCode code;
    EXPECT_EQ(takeEnhancedCode(text, code), c.taken);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(text, QString::fromUtf8(c.rest));
}

INSTANTIATE_TEST_SUITE_P(Replies, EnhancedCodeTest,
                         ::testing::Values(EnhancedCase{"2.1.0 Sender OK", true, {2, 1, 0, true}, "Sender OK"},
                                           EnhancedCase{"5.7.8 Authentication credentials invalid",
                                                        true,
                                                        {5, 7, 8, true},
                                                        "Authentication credentials invalid"},
                                           EnhancedCase{"4.4.2", true, {4, 4, 2, true}, ""},
                                           EnhancedCase{"2.0.0  two blanks", true, {2, 0, 0, true}, " two blanks"},
                                           EnhancedCase{"3.1.0 wrong class", false, {}, "3.1.0 wrong class"},
                                           EnhancedCase{"2.1 two parts", false, {}, "2.1 two parts"},
                                           EnhancedCase{"2.1.0.1 four parts", false, {}, "2.1.0.1 four parts"},
                                           EnhancedCase{"2..0 empty subject", false, {}, "2..0 empty subject"},
                                           EnhancedCase{"2.1.x letters", false, {}, "2.1.x letters"},
                                           EnhancedCase{"8BITMIME", false, {}, "8BITMIME"},
                                           EnhancedCase{"", false, {}, ""}));

TEST(ReplyTest, TrimRemovesControlsAndBlanksOnly)
{
    EXPECT_EQ(trimControls(QString::fromUtf8("\t 250 ok \x01\r")), QStringLiteral("250 ok"));
    EXPECT_EQ(trimControls(QString::fromUtf8("\u3000x\u3000")), QString::fromUtf8("\u3000x\u3000"));
}

} // namespace
