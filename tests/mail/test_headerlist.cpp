#include "Charsets.h"
#include "Clock.h"
#include "HeaderList.h"
#include "MailError.h"

#include "Printers.h"

#include <gtest/gtest.h>

namespace {

struct FoldCase
{
    const char *what;
    QString line;
    QStringList folded;
};

void PrintTo(const FoldCase &c, std::ostream *os)
{
    *os << c.what;
}

class Folding : public testing::TestWithParam<FoldCase>
{
};

TEST_P(Folding, BreaksWhereExpected)
{
    EXPECT_EQ(foldHeaderLine(GetParam().line), GetParam().folded);
}

const QString a70 = QString(70, u'a');
const QString a74 = QString(74, u'a');
const QString quotedWords = QStringLiteral("\"") + QStringLiteral("a b ").repeated(20) + u'"';

INSTANTIATE_TEST_SUITE_P(
    Cases, Folding,
    testing::Values(FoldCase{"short line stays", QStringLiteral("Subject: hi"), {QStringLiteral("Subject: hi")}},
                    FoldCase{"breaks after the last blank",
                             QStringLiteral("X: ") + a70 + QStringLiteral(" bbbbbbbbbb"),
                             {QStringLiteral("X: ") + a70, QStringLiteral(" bbbbbbbbbb")}},
                    FoldCase{"comma then blank gives two blanks",
                             QStringLiteral("X: ") + a74 + QStringLiteral(", bbb"),
                             {QStringLiteral("X: ") + a74 + u',', QStringLiteral("  bbb")}},
                    FoldCase{"no break for the last character",
                             QStringLiteral("X: ") + a74 + QStringLiteral(" b"),
                             {QStringLiteral("X: ") + a74 + QStringLiteral(" b")}},
                    FoldCase{"existing CR LF SPACE always breaks",
                             QStringLiteral("X: one\r\n two"),
                             {QStringLiteral("X: one"), QStringLiteral(" two")}},
                    FoldCase{"quoted string is never broken",
                             QStringLiteral("To: ") + quotedWords + QStringLiteral(" <c@d>"),
                             {QStringLiteral("To: ") + quotedWords, QStringLiteral(" <c@d>")}}));

class HeaderListSetting : public testing::Test
{
protected:
    HeaderListSetting()
    {
        for (const char *line : {"From: x", "Subject: old", " continued", "To: y"})
            list.append(QString::fromLatin1(line));
    }

    HeaderList list;
};

TEST_F(HeaderListSetting, ReplacesInPlaceWithoutTheOldContinuation)
{
    list.setValue(QStringLiteral("subject"), QStringLiteral("new"));
    EXPECT_EQ(list.lines(), QStringList({"From: x", "subject: new", "To: y"}));
}

TEST_F(HeaderListSetting, EmptyValueRemovesTheHeader)
{
    list.setValue(QStringLiteral("SUBJECT"), QString());
    EXPECT_EQ(list.lines(), QStringList({"From: x", "To: y"}));
    list.setValue(QStringLiteral("Cc"), QString());
    EXPECT_EQ(list.lines(), QStringList({"From: x", "To: y"}));
}

TEST_F(HeaderListSetting, AppendsAMissingHeaderFolded)
{
    list.setValue(QStringLiteral("Cc"), QStringLiteral("x ") + a74);
    EXPECT_EQ(list.lines(), QStringList({"From: x", "Subject: old", " continued", "To: y", "Cc: x", " " + a74}));
    EXPECT_EQ(list.value(QStringLiteral("cc")), QStringLiteral("x ") + a74);
    EXPECT_EQ(list.value(QStringLiteral("Subject")), u"old continued");
    EXPECT_EQ(list.value(QStringLiteral("Bcc")), QString());
}

struct DateCase
{
    QDateTime moment;
    const char *value;
};

void PrintTo(const DateCase &c, std::ostream *os)
{
    *os << c.value;
}

class DateValue : public testing::TestWithParam<DateCase>
{
};

TEST_P(DateValue, UsesEnglishNamesAndTheOffsetInForce)
{
    EXPECT_EQ(dateHeaderValue(GetParam().moment), QString::fromLatin1(GetParam().value));
}

QDateTime at(int y, int m, int d, int h, int mi, int s, int offsetMinutes)
{
    return QDateTime(QDate(y, m, d), QTime(h, mi, s), Qt::OffsetFromUTC, offsetMinutes * 60);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, DateValue,
    testing::Values(DateCase{at(2012, 9, 3, 14, 5, 9, 8 * 60), "Mon, 3 Sep 2012 14:05:09 +0800"},
                    DateCase{at(2012, 9, 3, 14, 5, 9, -5 * 60), "Mon, 3 Sep 2012 14:05:09 -0500"},
                    DateCase{at(2012, 9, 3, 14, 5, 9, 0), "Mon, 3 Sep 2012 14:05:09 +0000"},
                    DateCase{at(2023, 12, 31, 0, 0, 0, 5 * 60 + 30), "Sun, 31 Dec 2023 00:00:00 +0530"},
                    DateCase{at(2024, 1, 6, 23, 59, 59, -(3 * 60 + 30)), "Sat, 6 Jan 2024 23:59:59 -0330"}));

TEST(SystemClock, TellsTheLocalOffset)
{
    const QDateTime now = systemClock().now();
    ASSERT_TRUE(now.isValid());
    EXPECT_EQ(now.offsetFromUtc(), QDateTime::currentDateTime().offsetFromUtc());
    EXPECT_LE(qAbs(now.secsTo(QDateTime::currentDateTimeUtc())), 2);
}

TEST(HeaderCharset, WithoutConverterFailsWithItsLabel)
{
    try {
        CharsetEncoder encoder({QStringLiteral("x-none"), "NO-SUCH-CHARSET"});
        FAIL() << "no error";
    } catch (const MailError &e) {
        EXPECT_EQ(e.message(), u"无法用字符集“x-none”编码邮件头");
    }
}

} // namespace
