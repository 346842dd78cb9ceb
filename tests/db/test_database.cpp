#include "Database.h"
#include "DatabaseError.h"
#include "Printers.h"
#include "RecordView.h"
#include "SendOptions.h"
#include "TempDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>

#include <gtest/gtest.h>

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

TEST(Connection, FileHeldLockedByAnotherProgramFailsAfterWaiting)
{
    TempDatabase db;
    Database holder(db.path());
    holder.setConnected(true);
    ASSERT_TRUE(holder.database().exec(QStringLiteral("begin exclusive")).isActive());
    EXPECT_EQ(connectError(db.path()), QStringLiteral("database is locked"));
    holder.database().exec(QStringLiteral("rollback"));
    EXPECT_EQ(connectError(db.path()), QStringLiteral("(connected)"));
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
        EXPECT_FALSE(readSkipSent(connection.handle()));
    }
    for (const bool skip : {true, true, false, true}) {
        Database connection(db.path());
        connection.setConnected(true);
        writeSkipSent(connection.handle(), skip);
        Database again(db.path());
        again.setConnected(true);
        EXPECT_EQ(readSkipSent(again.handle()), skip);
    }
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 发送选项")).toInt(), 1);
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
