#include "Database.h"
#include "DatabaseError.h"
#include "Printers.h"
#include "SchemaRebuild.h"
#include "TempDatabase.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sqlite3.h>

using testsupport::TempDatabase;

namespace {

// The customers and the account as an earlier version made them: a 30-character address, a
// 40-character name, a 50-character sender address. The other tables are the current ones.
const QString olderTables = QStringLiteral(
    "drop table 客户表; drop table 设置;"
    "CREATE TABLE 客户表 ("
    "    客户ID       INTEGER PRIMARY KEY AUTOINCREMENT,"
    "    客户名称     NVARCHAR(40) CONSTRAINT 客户名称超过40个字符 CHECK (length(客户名称) <= 40),"
    "    电子邮件地址 NVARCHAR(30) CONSTRAINT 电子邮件地址超过30个字符 CHECK (length(电子邮件地址) <= 30),"
    "    录入日期     DATETIME);"
    "CREATE TABLE 设置 ("
    "    发信人名称     NVARCHAR(50) CONSTRAINT 发信人名称超过50个字符 CHECK (length(发信人名称) <= 50),"
    "    发信人电子邮件 NVARCHAR(50) CONSTRAINT 发信人电子邮件超过50个字符 CHECK (length(发信人电子邮件) <= 50),"
    "    SMTP服务器     NVARCHAR(50) CONSTRAINT SMTP服务器超过50个字符 CHECK (length(SMTP服务器) <= 50),"
    "    用户名         NVARCHAR(50) CONSTRAINT 用户名超过50个字符 CHECK (length(用户名) <= 50),"
    "    密码           NVARCHAR(50) CONSTRAINT 密码超过50个字符 CHECK (length(密码) <= 50),"
    "    附带退订方式   INTEGER NOT NULL DEFAULT 0 CHECK (附带退订方式 IN (0, 1)),"
    "    退订说明       NVARCHAR(255) DEFAULT '如不希望再收到我们的邮件，请回复“退订”。'"
    "                   CONSTRAINT 退订说明超过255个字符 CHECK (length(退订说明) <= 255),"
    "    每日上限       INTEGER DEFAULT 0 CONSTRAINT 每日上限超出范围 CHECK (每日上限 BETWEEN 0 AND 100000));");

// Customers with gaps in their keys, a counter raised past the last one (customers deleted at the
// end), an index and a trigger of the user's own, and an account row that is not the first.
const QString olderRows = QStringLiteral(
    "insert into 客户表 values(1, '张三', 'zhang@example.com', '2012-05-03 09:05:07.000');"
    "insert into 客户表 values(2, '李四', NULL, NULL);"
    "insert into 客户表 values(5, '', 'wang@example.com', '2012-05-04 10:00:00.000');"
    "insert into 客户表 values(9, '赵六', 'zhao@example.com', '2012-05-05 11:00:00.000');"
    "update sqlite_sequence set seq = 20 where name = '客户表';"
    "create index 客户表_地址 on 客户表(电子邮件地址);"
    "create table 改名记录(客户ID INTEGER, 旧名称 TEXT);"
    "create trigger 记下改名 after update of 客户名称 on 客户表 begin "
    "insert into 改名记录 values(old.客户ID, old.客户名称); end;"
    "insert into 设置(rowid, 发信人名称, 发信人电子邮件, SMTP服务器, 用户名, 密码, 每日上限) "
    "values(3, '小店', 'shop@example.com', 'smtp.example.com', 'shop', 'secret', 500);");

// What a file holds, as text: every table's, index's and trigger's statement, every row of every
// table with its row number, and the automatic numbers' counters.
QStringList contentOf(const QString &path)
{
    sqlite3 *handle = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    QStringList content;
    QStringList tables;
    sqlite3_stmt *statement = nullptr;
    const auto rows = [&](const QString &sql, int columns) {
        QStringList lines;
        sqlite3_prepare_v2(handle, sql.toUtf8().constData(), -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            QStringList values;
            for (int c = 0; c < (columns ? columns : sqlite3_column_count(statement)); ++c) {
                const auto *text = sqlite3_column_text(statement, c);
                values.append(text ? QString::fromUtf8(reinterpret_cast<const char *>(text)) : QStringLiteral("<null>"));
            }
            lines.append(values.join(u'|'));
        }
        sqlite3_finalize(statement);
        return lines;
    };
    content += rows(QStringLiteral("select type, name, tbl_name, sql from sqlite_master order by type, name"), 4);
    tables = rows(QStringLiteral("select name from sqlite_master where type = 'table' and name != 'sqlite_sequence' "
                                 "order by name"),
                  1);
    for (const QString &table : std::as_const(tables))
        content += table + QStringLiteral(": ") + rows(QStringLiteral("select rowid, * from \"%1\" order by rowid").arg(table), 0).join(u';');
    content += rows(QStringLiteral("select name, seq from sqlite_sequence order by name"), 2);
    sqlite3_close(handle);
    return content;
}

struct OlderFile : ::testing::Test
{
    OlderFile()
    {
        db.exec(olderTables);
        db.exec(olderRows);
    }
    QString backup() const { return db.path() + QStringLiteral(".bak"); }

    TempDatabase db;
};

} // namespace

TEST_F(OlderFile, IsRebuiltToTheNewWidthsKeepingRowsKeysAndCounterAfterACopy)
{
    const QStringList before = contentOf(db.path());
    {
        Database connection(db.path());
        connection.setConnected(true);
        EXPECT_EQ(connection.upgradeNotice(), QString());
    }
    // The copy holds the file as it was.
    ASSERT_TRUE(QFile::exists(backup()));
    EXPECT_EQ(contentOf(backup()), before);

    EXPECT_EQ(db.rows(QStringLiteral("select 客户ID, 客户名称, 电子邮件地址, 录入日期 from 客户表 order by 客户ID")),
              TempDatabase::Rows({{1, QStringLiteral("张三"), QStringLiteral("zhang@example.com"),
                                   QStringLiteral("2012-05-03 09:05:07.000")},
                                  {2, QStringLiteral("李四"), QVariant(), QVariant()},
                                  {5, QString(), QStringLiteral("wang@example.com"),
                                   QStringLiteral("2012-05-04 10:00:00.000")},
                                  {9, QStringLiteral("赵六"), QStringLiteral("zhao@example.com"),
                                   QStringLiteral("2012-05-05 11:00:00.000")}}));
    EXPECT_EQ(db.scalar(QStringLiteral("select seq from sqlite_sequence where name = '客户表'")).toInt(), 20);
    EXPECT_EQ(db.rows(QStringLiteral("select rowid, 发信人名称, 发信人电子邮件, 每日上限 from 设置")),
              TempDatabase::Rows({{3, QStringLiteral("小店"), QStringLiteral("shop@example.com"), 500}}));
    // The user's own index and trigger are there again and work.
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from sqlite_master where name in ('客户表_地址', '记下改名')")).toInt(), 2);
    db.exec(QStringLiteral("update 客户表 set 客户名称 = '张三丰' where 客户ID = 1"));
    EXPECT_EQ(db.scalar(QStringLiteral("select 旧名称 from 改名记录")).toString(), QStringLiteral("张三"));

    // The new widths, and the next customer numbered after the counter.
    const QString address = QString(242, u'a') + QStringLiteral("@example.com");
    ASSERT_EQ(address.size(), 254);
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('%1', '%2')").arg(QString(100, u'名'), address));
    EXPECT_EQ(db.scalar(QStringLiteral("select 客户ID from 客户表 where 电子邮件地址 = '%1'").arg(address)).toInt(), 21);
    EXPECT_THROW(db.exec(QStringLiteral("insert into 客户表(电子邮件地址) values('%1')").arg(address + u'a')), DatabaseError);
    EXPECT_THROW(db.exec(QStringLiteral("insert into 客户表(客户名称) values('%1')").arg(QString(101, u'名'))), DatabaseError);
    db.exec(QStringLiteral("update 设置 set 发信人电子邮件 = '%1'").arg(address));

    // A second open finds nothing to do and leaves the copy as it is.
    QFile::remove(backup());
    const QStringList rebuilt = contentOf(db.path());
    {
        Database connection(db.path());
        connection.setConnected(true);
    }
    EXPECT_FALSE(QFile::exists(backup()));
    EXPECT_EQ(contentOf(db.path()), rebuilt);
}

// A table that cannot be rebuilt (a column the program's table lacks, whose values would be lost)
// fails after the customers were rebuilt: everything is undone and the file opens as it was.
TEST_F(OlderFile, ARebuildThatFailsMidwayLeavesTheFileAsItWas)
{
    db.exec(QStringLiteral("alter table 设置 add column 备注 TEXT; update 设置 set 备注 = '别丢';"));
    const QStringList before = contentOf(db.path());
    Database connection(db.path());
    connection.setConnected(true);
    EXPECT_TRUE(connection.isConnected());
    EXPECT_TRUE(connection.upgradeNotice().startsWith(QStringLiteral("数据库文件升级失败"))) << connection.upgradeNotice().toStdString();
    EXPECT_TRUE(connection.upgradeNotice().contains(QStringLiteral("备注"))) << connection.upgradeNotice().toStdString();
    EXPECT_EQ(contentOf(db.path()), before);
    EXPECT_EQ(contentOf(backup()), before);
    // The connection is usable and outside any transaction.
    EXPECT_TRUE(sqlite3_get_autocommit(connection.handle()));
    EXPECT_THROW(db.exec(QStringLiteral("insert into 客户表(电子邮件地址) values('%1')").arg(QString(31, u'a'))),
                 DatabaseError);
}

TEST_F(OlderFile, NoCopyNoRebuild)
{
    QDir(db.dir()).mkdir(QStringLiteral("db.mdb.bak")); // a copy cannot be written where it goes
    const QStringList before = contentOf(db.path());
    Database connection(db.path());
    connection.setConnected(true);
    EXPECT_TRUE(connection.isConnected());
    EXPECT_TRUE(connection.upgradeNotice().startsWith(QStringLiteral("无法写入数据库文件的备份“%1”").arg(backup())))
        << connection.upgradeNotice().toStdString();
    EXPECT_EQ(contentOf(db.path()), before);
    EXPECT_FALSE(QFile::exists(backup() + QStringLiteral(".part")));
    EXPECT_TRUE(sqlite3_get_autocommit(connection.handle()));
}

TEST(NewFile, HasTheWidthsAndNeedsNoRebuild)
{
    TempDatabase db;
    const QString address = QString(254, u'a');
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('%1', '%2');"
                           "insert into 退订名单(电子邮件地址) values('%2');"
                           "insert into 发送选项(编号, 测试地址) values(1, '%2');"
                           "insert into 设置(发信人电子邮件) values('%2')")
                .arg(QString(100, u'名'), address));
    for (const char16_t *refused : {u"insert into 客户表(电子邮件地址) values('%1')", u"insert into 退订名单(电子邮件地址) values('%1')",
                                    u"update 发送选项 set 测试地址 = '%1'", u"update 设置 set 发信人电子邮件 = '%1'"})
        EXPECT_THROW(db.exec(QString::fromUtf16(refused).arg(address + u'b')), DatabaseError) << QString::fromUtf16(refused).toStdString();
    Database connection(db.path());
    connection.setConnected(true);
    EXPECT_FALSE(QFile::exists(db.path() + QStringLiteral(".bak")));
}
