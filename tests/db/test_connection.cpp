#include "db/ADOConnection.h"
#include "db/ADODataSet.h"
#include "db/DatabaseError.h"
#include "tests/support/Printers.h"
#include "tests/support/TempDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <thread>

using testsupport::TempDatabase;

namespace {

QString connectError(const QString &path)
{
    TADOConnection connection(path);
    try {
        connection.setConnected(true);
    } catch (const EDatabaseError &error) {
        EXPECT_FALSE(connection.Connected());
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
    TADOConnection connection;
    connection.setConnected(true);
    ASSERT_TRUE(connection.Connected());
    TADODataSet view;
    view.setConnection(&connection);
    view.setCommandType(TCommandType::cmdTable);
    view.setCommandText(QStringLiteral("客户表"));
    view.Open();
    EXPECT_EQ(view.FieldByName(QStringLiteral("客户名称")).toString(), QStringLiteral("甲"));
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
    TADOConnection holder(db.path());
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
    TADOConnection connection(path);
    connection.setConnected(true);
    EXPECT_TRUE(connection.Connected());
}

TEST(Connection, EachObjectIsAnIndependentConnectionUsableOnItsOwnThread)
{
    TempDatabase db;
    TADOConnection window(db.path());
    TADODataSet records;
    records.setConnection(&window);
    records.setCommandType(TCommandType::cmdTable);
    records.setCommandText(QStringLiteral("发送情况"));
    records.Open();

    std::thread run([&] {
        TADOConnection own(db.path());
        TADODataSet appender;
        appender.setConnection(&own);
        appender.setCommandType(TCommandType::cmdTable);
        appender.setCommandText(QStringLiteral("发送情况"));
        appender.Open();
        for (int customer = 1; customer <= 3; ++customer) {
            appender.Insert();
            appender.setFieldValue(QStringLiteral("客户ID"), customer);
            appender.setFieldValue(QStringLiteral("邮件ID"), QStringLiteral("12"));
            appender.setFieldValue(QStringLiteral("发送日期"), QStringLiteral("2026/12/10 9:05:07"));
            appender.Post();
        }
    });
    run.join();

    EXPECT_EQ(records.RecordCount(), 0); // a static copy until it is read again
    records.Refresh();
    EXPECT_EQ(records.RecordCount(), 3);
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 发送情况 where 邮件ID = 12")).toInt(), 3);
}

TEST(Connection, DisconnectAndReconnect)
{
    TempDatabase db;
    TADOConnection connection(db.path());
    connection.setConnected(true);
    connection.setConnected(false);
    EXPECT_FALSE(connection.Connected());
    EXPECT_EQ(connection.handle(), nullptr);
    connection.setConnected(true);
    EXPECT_TRUE(connection.Connected());
}
