// How numbers and dates become text, for formats and values the files above do not reach.

#include "CellText.h"
#include "Printers.h"

#include <gtest/gtest.h>

using celltext::DateKind;

namespace {

TEST(CellText, NumbersNeverInExponentForm)
{
    const struct
    {
        double value;
        const char *text;
    } cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {13800138000, "13800138000"},
        {123456789012345678.0, "123456789012346000"},
        {1e-7, "0.0000001"},
        {2.0 / 3, "0.666666666666667"},
        {-1234.5, "-1234.5"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(celltext::numberText(c.value), QString::fromLatin1(c.text)) << c.value;
}

TEST(CellText, FormatKinds)
{
    const struct
    {
        int id;
        const char *code;
        DateKind kind;
    } cases[] = {
        {0, "", DateKind::None},
        {14, "", DateKind::Date},
        {22, "", DateKind::DateTime},
        {20, "", DateKind::Time},
        {31, "", DateKind::Date},
        {57, "", DateKind::Date},
        {164, "General", DateKind::None},
        {164, "0.00E+00", DateKind::None},
        {164, "#,##0.00", DateKind::None},
        {164, "@", DateKind::None},
        {164, "mm:ss", DateKind::Time},
        {164, "[h]:mm", DateKind::Time},
        {164, "mmm-yy", DateKind::Date},
        {164, "[$-804]yyyy\"年\"m\"月\"d\"日\"", DateKind::Date},
        {164, "[Red]0.00", DateKind::None},
        {164, "\"day\"0", DateKind::None},
        {164, "yyyy/m/d h:mm AM/PM", DateKind::DateTime},
        {164, "0;[Red]-0;\"date\"", DateKind::None},
    };
    for (const auto &c : cases)
        EXPECT_EQ(celltext::dateKindOfFormat(c.id, QString::fromUtf8(c.code)), c.kind) << c.id << " " << c.code;
}

TEST(CellText, SerialDates)
{
    const struct
    {
        double serial;
        DateKind kind;
        bool date1904;
        const char *text;
    } cases[] = {
        {1, DateKind::Date, false, "1900-01-01"},
        {59, DateKind::Date, false, "1900-02-28"},
        {61, DateKind::Date, false, "1900-03-01"},
        {45366, DateKind::Date, false, "2024-03-15"},
        {45366.354224537, DateKind::DateTime, false, "2024-03-15 08:30:05"},
        {0.5, DateKind::Time, false, "12:00:00"},
        {0, DateKind::Date, true, "1904-01-01"},
        {2958465, DateKind::Date, false, "9999-12-31"},
        {2958466, DateKind::Date, false, "2958466"},
        {-1, DateKind::Date, false, "-1"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(celltext::serialDateText(c.serial, c.kind, c.date1904), QString::fromLatin1(c.text)) << c.serial;
}

} // namespace
