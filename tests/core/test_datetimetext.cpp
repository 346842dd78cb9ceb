#include "DateTimeText.h"
#include "Printers.h"

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char *locale;
    QTime time;
    const char16_t *text;
};

// 3 May 2012 at the given time, in the formats of a few regions: 24 hours with and without a
// leading zero, 12 hours with the designator after and before the time, other separators.
const Case cases[] = {
    {"zh_CN", QTime(9, 5, 7), u"2012/5/3 09:05:07"},     {"zh_CN", QTime(0, 0), u"2012/5/3 00:00:00"},
    {"ja_JP", QTime(9, 5, 7), u"2012/05/03 9:05:07"},    {"en_US", QTime(9, 5, 7), u"5/3/12 9:05:07 AM"},
    {"en_US", QTime(0, 0), u"5/3/12 12:00:00 AM"},       {"en_US", QTime(12, 30, 1), u"5/3/12 12:30:01 PM"},
    {"en_US", QTime(23, 59, 59), u"5/3/12 11:59:59 PM"}, {"ko_KR", QTime(21, 5, 7), u"12. 5. 3. 오후 9:05:07"},
    {"zh_TW", QTime(9, 5, 7), u"2012/5/3 上午 9:05:07"}, {"de_DE", QTime(9, 5, 7), u"03.05.12 09:05:07"},
    {"fi_FI", QTime(9, 5, 7), u"3.5.2012 9.05.07"},
};

} // namespace

TEST(formatDateTime, FollowsTheRegionsFormats)
{
    for (const Case &c : cases) {
        const QDateTime moment(QDate(2012, 5, 3), c.time);
        EXPECT_EQ(formatDateTime(moment, QLocale(QLatin1String(c.locale))), QString::fromUtf16(c.text))
            << c.locale << ' ' << c.time.toString().toStdString();
    }
}

TEST(formatDateTime, GridCellsLeaveOutTheTimeOnlyAtExactlyMidnight)
{
    const QLocale locale(QStringLiteral("zh_CN"));
    const QDate day(2012, 5, 3);
    EXPECT_EQ(formatGridDateTime(QDateTime(day, QTime(0, 0)), locale), QStringLiteral("2012/5/3"));
    EXPECT_EQ(formatGridDateTime(QDateTime(day, QTime(0, 0, 0, 1)), locale), QStringLiteral("2012/5/3 00:00:00"));
    EXPECT_EQ(formatGridDateTime(QDateTime(day, QTime(0, 0, 1)), locale), QStringLiteral("2012/5/3 00:00:01"));
}

// What the writer wrote, read back in the same region: the send records' dates are counted by the
// daily cap. A two-digit year lands in the century nearest the reference.
TEST(parseDateTime, ReadsBackWhatTheWriterWrote)
{
    const QDateTime reference(QDate(2012, 6, 1), QTime(12, 0));
    for (const Case &c : cases) {
        const QLocale locale(QLatin1String(c.locale));
        const QDateTime moment(QDate(2012, 5, 3), c.time);
        EXPECT_EQ(parseDateTime(QString::fromUtf16(c.text), locale, reference), moment) << c.locale;
    }
    EXPECT_EQ(parseDateTime(QStringLiteral("5/3/99 9:05:07 AM"), QLocale(QStringLiteral("en_US")), reference),
              QDateTime(QDate(1999, 5, 3), QTime(9, 5, 7)));
    const QLocale c = QLocale::c();
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime second(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
    EXPECT_EQ(parseDateTime(formatDateTime(second, c), c), second);
}

TEST(parseDateTime, TextOfAnotherRegionOrNoneIsInvalid)
{
    const QLocale locale(QStringLiteral("zh_CN"));
    for (const char16_t *text : {u"", u"5/3/12 9:05:07 AM", u"2012-05-03 09:05:07.123", u"2012/5/3"})
        EXPECT_FALSE(parseDateTime(QString::fromUtf16(text), locale).isValid()) << QString::fromUtf16(text).toStdString();
}
