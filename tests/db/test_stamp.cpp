#include "Printers.h"
#include "Stamp.h"

#include <QDateTime>

#include <gtest/gtest.h>

TEST(Stamp, StoredTextRoundTrip)
{
    const QDateTime moment(QDate(2026, 12, 10), QTime(14, 5, 9, 123));
    EXPECT_EQ(stamp::toText(moment), QStringLiteral("2026-12-10 14:05:09.123"));
    const struct
    {
        QString text;
        QDateTime expected;
    } cases[] = {
        {QStringLiteral("2026-12-10 14:05:09.123"), moment},
        {QStringLiteral("2026-12-10T14:05:09.123"), moment},
        {QStringLiteral("2026-12-10 14:05:09"), QDateTime(QDate(2026, 12, 10), QTime(14, 5, 9))},
        {QStringLiteral("2026-12-10"), QDateTime(QDate(2026, 12, 10), QTime(0, 0))},
        {QStringLiteral("2026/12/10 9:05:07"), QDateTime()},
        {QStringLiteral("昨天"), QDateTime()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(stamp::fromText(c.text), c.expected) << c.text.toStdString();
}
