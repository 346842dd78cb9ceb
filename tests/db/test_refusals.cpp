#include "DatabaseError.h"
#include "Field.h"
#include "Printers.h"
#include "Refusals.h"

#include <gtest/gtest.h>

TEST(Refusals, TheEnginesRefusalsInTheUsersWords)
{
    const struct
    {
        const char16_t *engine;
        const char16_t *shown;
    } cases[] = {
        {u"CHECK constraint failed: 电子邮件地址超过254个字符", u"电子邮件地址不能超过 254 个字符"},
        {u"CHECK constraint failed: 客户名称超过100个字符", u"客户名称不能超过 100 个字符"},
        {u"CHECK constraint failed: 每日上限超出范围", u"每日上限超出允许的范围"},
        {u"CHECK constraint failed: 广告 IN (0, 1)", u"广告的值不符合要求"},
        {u"CHECK constraint failed: length(原因) <= 255", u"原因的值不符合要求"},
        {u"NOT NULL constraint failed: 退订名单.电子邮件地址", u"电子邮件地址不能为空"},
        {u"UNIQUE constraint failed: index '退订名单_地址'", u"这个电子邮件地址已在退订名单中"},
        {u"UNIQUE constraint failed: 信任证书.主机, 信任证书.端口", u"已有主机、端口相同的记录"},
        {u"database is locked", u"数据库文件正被其他程序使用，请稍后再保存"},
        {u"attempt to write a readonly database", u"数据库文件是只读的，无法保存"},
        {u"database or disk is full", u"磁盘已满，无法保存"},
        // What it does not know stays the engine's own text.
        {u"disk I/O error", u"disk I/O error"},
        {u"第77行未能导入：CHECK constraint failed: 客户名称超过100个字符",
         u"第77行未能导入：CHECK constraint failed: 客户名称超过100个字符"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(refusalText(QString::fromUtf16(c.engine)), QString::fromUtf16(c.shown)) << QString::fromUtf16(c.engine).toStdString();
}

// A server's refusals read as a file's: by the SQLSTATE where the error carries it (the names then
// from the quoted words, whatever the server's language), else by the English message.
TEST(Refusals, TheServersRefusalsReadAsTheFilesSame)
{
    const struct
    {
        const char16_t *engine;
        const char16_t *state;
        const char16_t *shown;
    } cases[] = {
        {u"new row for relation \"客户表\" violates check constraint \"客户名称超过100个字符\"", u"23514",
         u"客户名称不能超过 100 个字符"},
        {u"new row for relation \"客户表\" violates check constraint \"客户名称超过100个字符\"", u"",
         u"客户名称不能超过 100 个字符"},
        {u"new row for relation \"设置\" violates check constraint \"每日上限超出范围\"", u"23514", u"每日上限超出允许的范围"},
        // a check the schema leaves unnamed: the server names it after its table and column
        {u"new row for relation \"邮件表\" violates check constraint \"邮件表_广告_check\"", u"23514", u"广告的值不符合要求"},
        {u"neue Zeile für Relation »客户表« verletzt Check-Constraint »电子邮件地址超过254个字符«", u"23514",
         u"电子邮件地址不能超过 254 个字符"},
        {u"null value in column \"电子邮件地址\" of relation \"退订名单\" violates not-null constraint", u"23502",
         u"电子邮件地址不能为空"},
        {u"null value in column \"电子邮件地址\" of relation \"退订名单\" violates not-null constraint", u"",
         u"电子邮件地址不能为空"},
        {u"null value in column \"电子邮件地址\" violates not-null constraint", u"", u"电子邮件地址不能为空"},
        {u"NULL-Wert in Spalte »电子邮件地址« von Relation »退订名单« verletzt Not-Null-Constraint", u"23502",
         u"电子邮件地址不能为空"},
        {u"duplicate key value violates unique constraint \"退订名单_地址\"", u"23505", u"这个电子邮件地址已在退订名单中"},
        {u"duplicate key value violates unique constraint \"退订名单_地址\"", u"", u"这个电子邮件地址已在退订名单中"},
        {u"duplicate key value violates unique constraint \"发送选项_pkey\"", u"23505", u"已有相同的记录"},
        {u"canceling statement due to lock timeout", u"55P03", u"数据库文件正被其他程序使用，请稍后再保存"},
        {u"canceling statement due to lock timeout", u"", u"数据库文件正被其他程序使用，请稍后再保存"},
        {u"could not obtain lock on row in relation \"发送情况\"", u"", u"数据库文件正被其他程序使用，请稍后再保存"},
        {u"deadlock detected", u"40P01", u"数据库文件正被其他程序使用，请稍后再保存"},
        {u"cannot execute INSERT in a read-only transaction", u"25006", u"数据库文件是只读的，无法保存"},
        {u"cannot execute UPDATE in a read-only transaction", u"", u"数据库文件是只读的，无法保存"},
        {u"could not extend file \"base/16384/16385\": No space left on device", u"53100", u"磁盘已满，无法保存"},
        {u"could not extend file \"base/16384/16385\": No space left on device", u"", u"磁盘已满，无法保存"},
        {u"invalid input syntax for type integer: \"abc\"", u"22P02", u"填写的值类型不符"},
        // What it does not know stays the server's own text, with a state or without.
        {u"terminating connection due to administrator command", u"57P01",
         u"terminating connection due to administrator command"},
        {u"server closed the connection unexpectedly", u"", u"server closed the connection unexpectedly"},
    };
    for (const auto &c : cases) {
        const QString engine = QString::fromUtf16(c.engine);
        EXPECT_EQ(refusalText(engine, QString::fromUtf16(c.state)), QString::fromUtf16(c.shown))
            << engine.toStdString() << " / " << QString::fromUtf16(c.state).toStdString();
    }
}

TEST(Refusals, ATextOverItsFieldsWidthIsRefusedByCharacters)
{
    const Field address{QStringLiteral("电子邮件地址"), FieldKind::String, 254, false};
    const QString fourBytes = QString::fromUtf16(u"\U0001F600"); // one character, two UTF-16 units
    const struct
    {
        Field field;
        QString text;
        bool refused;
    } cases[] = {
        {address, QString(254, u'a'), false},
        {address, QString(255, u'a'), true},
        {address, fourBytes.repeated(254), false},
        {address, fourBytes.repeated(255), true},
        {{QStringLiteral("邮件内容"), FieldKind::Memo, 0, false}, QString(100000, u'a'), false},
        {{QStringLiteral("备注"), FieldKind::String, 0, false}, QString(100000, u'a'), false},
    };
    for (const auto &c : cases) {
        if (c.refused) {
            try {
                checkLength(c.field, c.text);
                ADD_FAILURE() << "not refused: " << c.text.size();
            } catch (const DatabaseError &e) {
                EXPECT_EQ(e.message(), QStringLiteral("电子邮件地址不能超过 254 个字符"));
            }
        } else {
            EXPECT_NO_THROW(checkLength(c.field, c.text)) << c.text.size();
        }
    }
}
