#include "Database.h"
#include "DatabaseError.h"
#include "Printers.h"
#include "RecordView.h"
#include "SendOptions.h"
#include "SendRecords.h"
#include "Statement.h"
#include "StoredAttachment.h"
#include "TempDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <thread>

using testsupport::TempDatabase;

namespace {

QString connectError(const QString &path)
{
    Database connection(path);
    try {
        connection.setConnected(true);
    } catch (const DatabaseError &error) {
        EXPECT_FALSE(connection.isConnected());
        return error.message();
    }
    return QStringLiteral("(connected)");
}

} // namespace

TEST(Connection, OpensDbMdbOfTheWorkingDirectory)
{
    TempDatabase db;
    db.exec(QStringLiteral("insert into 客户表(客户名称) values('甲')"));
    db.enter();
    Database connection;
    connection.setConnected(true);
    ASSERT_TRUE(connection.isConnected());
    RecordView view;
    view.setDatabase(&connection);
    view.setCommandType(RecordView::CommandType::Table);
    view.setCommandText(QStringLiteral("客户表"));
    view.open();
    EXPECT_EQ(view.fieldByName(QStringLiteral("客户名称")).toString(), QStringLiteral("甲"));
}

TEST(Connection, MissingFileFailsAndIsNotCreated)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db.mdb"));
    EXPECT_EQ(connectError(path), QStringLiteral("unable to open database file"));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(Connection, FileThatIsNotADatabaseFailsAtConnectAndStaysUntouched)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db.mdb"));
    const QByteArray text = QByteArrayLiteral("客户名称,电子邮件地址\n这不是数据库\n").repeated(200);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    EXPECT_EQ(connectError(path), QStringLiteral("file is not a database"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), text);
}

// Another program holding the whole file keeps the open waiting, then failing: a tool that takes
// the file for itself alone (exclusive locking mode), or an older copy of the program writing to a
// file that is not yet kept with a write-ahead log. Once it lets go, the file opens.
TEST(Connection, FileHeldLockedByAnotherProgramFailsAfterWaiting)
{
    {
        TempDatabase db;
        Database holder(db.path());
        holder.setConnected(true);
        ASSERT_TRUE(holder.database().exec(QStringLiteral("pragma locking_mode = exclusive")).isActive());
        ASSERT_TRUE(holder.database().exec(QStringLiteral("begin exclusive")).isActive());
        EXPECT_EQ(connectError(db.path()), QStringLiteral("database is locked"));
        holder.setConnected(false);
        EXPECT_EQ(connectError(db.path()), QStringLiteral("(connected)"));
    }
    {
        TempDatabase db;
        sqlite3 *older = nullptr;
        ASSERT_EQ(sqlite3_open_v2(db.path().toUtf8().constData(), &older, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(older, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_EQ(connectError(db.path()), QStringLiteral("database is locked"));
        sqlite3_exec(older, "rollback", nullptr, nullptr, nullptr);
        sqlite3_close(older);
        EXPECT_EQ(connectError(db.path()), QStringLiteral("(connected)"));
    }
}

// Every commit is one sync of the write-ahead log. An older file takes the log at its first open
// and keeps its rows; the mode stays with the file. A commit is in the log at once: a file left with
// its log (the program killed) has it at the next open. When the last connection closes, the log is
// folded into db.mdb and it and its index file are removed.
TEST(Connection, TheFileIsKeptWithAWriteAheadLog)
{
    TempDatabase db;
    db.exec(QStringLiteral("insert into 客户表(客户名称) values('甲')"));
    ASSERT_EQ(db.scalar(QStringLiteral("pragma journal_mode")).toString(), QStringLiteral("delete"));
    const QString log = db.path() + QStringLiteral("-wal");
    QTemporaryDir crashed;
    const QString copy = crashed.filePath(QStringLiteral("db.mdb"));
    {
        Database writer(db.path());
        writer.setConnected(true);
        QSqlQuery query(writer.database());
        ASSERT_TRUE(query.exec(QStringLiteral("pragma synchronous")) && query.next());
        EXPECT_EQ(query.value(0).toInt(), 2); // FULL
        ASSERT_TRUE(query.exec(QStringLiteral("insert into 客户表(客户名称) values('乙')")));
        EXPECT_TRUE(QFile::exists(log));
        ASSERT_TRUE(QFile::copy(db.path(), copy));
        ASSERT_TRUE(QFile::copy(log, copy + QStringLiteral("-wal")));
    }
    EXPECT_FALSE(QFile::exists(log));
    EXPECT_FALSE(QFile::exists(db.path() + QStringLiteral("-shm")));
    EXPECT_EQ(db.scalar(QStringLiteral("pragma journal_mode")).toString(), QStringLiteral("wal"));
    EXPECT_EQ(db.scalar(QStringLiteral("select group_concat(客户名称) from (select 客户名称 from 客户表 order by 客户ID)")).toString(),
              QStringLiteral("甲,乙"));

    Database afterCrash(copy);
    afterCrash.setConnected(true);
    QSqlQuery names(afterCrash.database());
    ASSERT_TRUE(names.exec(QStringLiteral("select group_concat(客户名称) from (select 客户名称 from 客户表 order by 客户ID)")) && names.next());
    EXPECT_EQ(names.value(0).toString(), QStringLiteral("甲,乙"));
}

TEST(Connection, PathWithCharactersSpecialToUris)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a #b?c%d 客户.mdb"));
    QFile::copy(TempDatabase().path(), path);
    Database connection(path);
    connection.setConnected(true);
    EXPECT_TRUE(connection.isConnected());
}

TEST(Connection, EachObjectIsAnIndependentConnectionUsableOnItsOwnThread)
{
    TempDatabase db;
    Database window(db.path());
    RecordView records;
    records.setDatabase(&window);
    records.setCommandType(RecordView::CommandType::Table);
    records.setCommandText(QStringLiteral("发送情况"));
    records.open();

    std::thread run([&] {
        Database own(db.path());
        RecordView appender;
        appender.setDatabase(&own);
        appender.setCommandType(RecordView::CommandType::Table);
        appender.setCommandText(QStringLiteral("发送情况"));
        appender.open();
        for (int customer = 1; customer <= 3; ++customer) {
            appender.insert();
            appender.setFieldValue(QStringLiteral("客户ID"), customer);
            appender.setFieldValue(QStringLiteral("邮件ID"), QStringLiteral("12"));
            appender.setFieldValue(QStringLiteral("发送日期"), QStringLiteral("2026/12/10 9:05:07"));
            appender.post();
        }
    });
    run.join();

    EXPECT_EQ(records.recordCount(), 0); // a static copy until it is read again
    records.refresh();
    EXPECT_EQ(records.recordCount(), 3);
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 发送情况 where 邮件ID = 12")).toInt(), 3);
}

TEST(Connection, DisconnectAndReconnect)
{
    TempDatabase db;
    Database connection(db.path());
    connection.setConnected(true);
    connection.setConnected(false);
    EXPECT_FALSE(connection.isConnected());
    EXPECT_EQ(connection.handle(), nullptr);
    connection.setConnected(true);
    EXPECT_TRUE(connection.isConnected());
}

// The send panel's skip choice: a file from before it gets its table on open and reads as off; the
// choice written is the one read back by the next connection, however often it changes.
TEST(Connection, TheSkipChoiceIsKeptInTheFile)
{
    TempDatabase db;
    db.exec(QStringLiteral("drop table 发送选项"));
    {
        Database connection(db.path());
        connection.setConnected(true);
        EXPECT_FALSE(readSkipSent(connection));
    }
    for (const bool skip : {true, true, false, true}) {
        Database connection(db.path());
        connection.setConnected(true);
        writeSkipSent(connection, skip);
        Database again(db.path());
        again.setConnected(true);
        EXPECT_EQ(readSkipSent(again), skip);
    }
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 发送选项")).toInt(), 1);
}

// The test address lives in the same row as the skip choice: a file whose 发送选项 is from before it
// gets the column on open, and writing either keeps the other.
TEST(Connection, TheTestAddressIsKeptBesideTheSkipChoice)
{
    TempDatabase db;
    db.exec(QStringLiteral("drop table 发送选项;"
                           "create table 发送选项 (编号 INTEGER PRIMARY KEY CHECK (编号 = 1), "
                           "跳过已发送 INTEGER NOT NULL DEFAULT 0 CHECK (跳过已发送 IN (0, 1)));"
                           "insert into 发送选项 values(1, 1)"));
    Database connection(db.path());
    connection.setConnected(true);
    EXPECT_EQ(readTestAddress(connection), QString());
    EXPECT_TRUE(readSkipSent(connection));
    writeTestAddress(connection, QStringLiteral("me@example.test"));
    writeSkipSent(connection, false);
    EXPECT_EQ(readTestAddress(connection), QStringLiteral("me@example.test"));
    writeSkipSent(connection, true);
    writeTestAddress(connection, QStringLiteral("other@example.test"));
    Database again(db.path());
    again.setConnected(true);
    EXPECT_TRUE(readSkipSent(again));
    EXPECT_EQ(readTestAddress(again), QStringLiteral("other@example.test"));
}

// A file made before send records carried their result: the open adds the column and changes
// nothing else; opening it again finds the column there.
TEST(Connection, AnOlderFileGetsTheResultColumnAndKeepsItsRows)
{
    TempDatabase db;
    db.exec(QStringLiteral("drop table 发送情况;"
                           "create table 发送情况 (客户ID INTEGER, 邮件ID INTEGER, 发送日期 NVARCHAR(50));"
                           "insert into 发送情况 values(1, 2, '2012/5/3 9:05:07');"
                           "insert into 发送情况 values(3, 2, '2012/5/3 9:05:13');"));
    const auto columns = [&db] {
        QStringList names;
        for (const QVariantList &row : db.rows(QStringLiteral("select name from pragma_table_info('发送情况')")))
            names.append(row.value(0).toString());
        return names;
    };
    ASSERT_EQ(columns().size(), 3);

    for (int open = 0; open < 2; ++open) {
        Database connection(db.path());
        connection.setConnected(true);
        EXPECT_EQ(columns(),
                  QStringList({QStringLiteral("客户ID"), QStringLiteral("邮件ID"), QStringLiteral("发送日期"),
                               QStringLiteral("发送结果")}));
    }
    const TempDatabase::Rows rows = db.rows(QStringLiteral("select 客户ID, 邮件ID, 发送日期, 发送结果 from 发送情况"));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], QVariantList({1, 2, QStringLiteral("2012/5/3 9:05:07"), QVariant()}));
    EXPECT_EQ(rows[1], QVariantList({3, 2, QStringLiteral("2012/5/3 9:05:13"), QVariant()}));
    // The new column keeps the width of the current layout.
    EXPECT_THROW(
        db.exec(QStringLiteral("insert into 发送情况(发送结果) values('%1')").arg(QString(256, QLatin1Char('x')))),
        DatabaseError);
}

// A file made before mails carried a file: the open adds the file's two columns, empty for the mails
// already there, which read as carrying none; the mails keep their rows.
TEST(Connection, AnOlderFileGetsTheAttachmentColumnsAndItsMailsCarryNone)
{
    TempDatabase db;
    db.exec(QStringLiteral("drop table 邮件表;"
                           "create table 邮件表 (邮件ID INTEGER PRIMARY KEY AUTOINCREMENT, 邮件主题 NVARCHAR(255),"
                           " 邮件内容 NTEXT, 建立日期 DATETIME);"
                           "insert into 邮件表(邮件主题, 邮件内容) values('价目表', '见附件');"));
    const auto columns = [&db] {
        QStringList names;
        for (const QVariantList &row : db.rows(QStringLiteral("select name from pragma_table_info('邮件表')")))
            names.append(row.value(0).toString());
        return names;
    };
    for (int open = 0; open < 2; ++open) {
        Database connection(db.path());
        connection.setConnected(true);
        EXPECT_EQ(columns(), QStringList({QStringLiteral("邮件ID"), QStringLiteral("邮件主题"), QStringLiteral("邮件内容"),
                                          QStringLiteral("建立日期"), QStringLiteral("附件名称"),
                                          QStringLiteral("附件内容"), QStringLiteral("广告")}));
        EXPECT_FALSE(storedAttachment(connection, 1));
        const MailText mail = readMail(connection, 1);
        EXPECT_EQ(mail.subject, QStringLiteral("价目表"));
        EXPECT_EQ(mail.content, QStringLiteral("见附件"));
        EXPECT_FALSE(mail.attachment);
    }
    EXPECT_EQ(db.rows(QStringLiteral("select 邮件主题, 附件名称, 附件内容 from 邮件表")),
              TempDatabase::Rows({{QStringLiteral("价目表"), QVariant(), QVariant()}}));

    // A file stored afterwards reads back whole, and its size without its bytes.
    const QByteArray bytes("%PDF\0\x01\xff", 7);
    {
        Database connection(db.path());
        connection.setConnected(true);
        Statement store(connection.handle(),
                        QStringLiteral("update 邮件表 set 附件名称 = '价目表.pdf', 附件内容 = ? where 邮件ID = 1"));
        store.bind(1, bytes);
        store.step();
        const auto stored = storedAttachment(connection, 1);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->fileName, QStringLiteral("价目表.pdf"));
        EXPECT_EQ(stored->size, 7);
        const MailText mail = readMail(connection, 1);
        ASSERT_TRUE(mail.attachment);
        EXPECT_EQ(mail.attachment->fileName, QStringLiteral("价目表.pdf"));
        EXPECT_EQ(mail.attachment->content, bytes);
    }
}

// A file made before the daily cap: the open adds 设置.每日上限, 0 (no cap) for the account there.
TEST(Connection, AnOlderFileGetsTheDailyCapColumnAtNoCap)
{
    TempDatabase db;
    db.exec(QStringLiteral("drop table 设置;"
                           "create table 设置 (发信人名称 NVARCHAR(50), 发信人电子邮件 NVARCHAR(50), SMTP服务器 NVARCHAR(50),"
                           " 用户名 NVARCHAR(50), 密码 NVARCHAR(50));"
                           "insert into 设置 values('销售部', 'sales@example.test', 'smtp.example.test', 'u', 'p');"));
    for (int open = 0; open < 2; ++open) {
        Database connection(db.path());
        connection.setConnected(true);
        EXPECT_EQ(db.rows(QStringLiteral("select 发信人名称, 每日上限 from 设置")),
                  TempDatabase::Rows({QVariantList({QStringLiteral("销售部"), 0})}));
    }
    EXPECT_THROW(db.exec(QStringLiteral("update 设置 set 每日上限 = -1")), DatabaseError);
}
