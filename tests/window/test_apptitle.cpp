#include "AppTitle.h"
#include "Printers.h"

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char16_t *input;
    const char16_t *expected;
};

void PrintTo(const Case &c, std::ostream *os)
{
    PrintTo(QString::fromUtf16(c.input), os);
}

class ErrorText : public ::testing::TestWithParam<Case>
{
};

TEST_P(ErrorText, FullStopRule)
{
    const Case c = GetParam();
    EXPECT_EQ(boxes::errorBoxText(QString::fromUtf16(c.input)), QString::fromUtf16(c.expected));
}

// Characters sorting above "." get one; "." itself and everything below it (blank, comma, "-",
// CR LF) do not.
INSTANTIATE_TEST_SUITE_P(Texts, ErrorText,
                         ::testing::Values(Case{u"", u""}, Case{u"Connection refused", u"Connection refused."},
                                           Case{u"Already connected.", u"Already connected."}, Case{u"x,", u"x,"},
                                           Case{u"x ", u"x "}, Case{u"x-", u"x-"},
                                           Case{u"code 550\r\n", u"code 550\r\n"}, Case{u"x/", u"x/."},
                                           Case{u"x?", u"x?."}, Case{u"无法连接", u"无法连接."},
                                           Case{u"完成。", u"完成。."}));

} // namespace
