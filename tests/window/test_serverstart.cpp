#include "WindowFixture.h"

#include "AppTitle.h"
#include "Database.h"
#include "PostgresCluster.h"
#include "RecordNavigator.h"
#include "RequiredSchema.h"
#include "ServerSchema.h"
#include "Statement.h"

#include <QPushButton>

#include <stdexcept>

namespace {

using testsupport::PostgresCluster;

// The cluster of the tests that begin on a database without the program's tables.
PostgresCluster &cluster()
{
    static PostgresCluster shared;
    static const QString failure = shared.start();
    if (!failure.isEmpty())
        throw std::runtime_error("PostgreSQL did not start: " + failure.toStdString());
    return shared;
}

DatabaseLocation newDatabase()
{
    static int made = 0;
    return cluster().createDatabase(QStringLiteral("start_%1").arg(++made));
}

bool hasNoTables(const DatabaseLocation &location)
{
    Database server(location);
    server.setConnected(true);
    return serverHasNoTables(server);
}

void execute(const DatabaseLocation &location, const QString &sql)
{
    Database server(location);
    server.setConnected(true);
    execute(server, sql);
}

} // namespace

// The window started on a server, in a working directory of its own that holds no db.mdb.
class ServerStart : public WindowFixture<::testing::Test>
{
protected:
    void refresh() { control<RecordNavigator>("customerNavigator")->click(RecordNavigator::Refresh); }
    // What a command that needs the data says.
    QString importRefusal()
    {
        control<QPushButton>("importButton")->click();
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        return shown.size() == 1 && shown[0].kind == boxes::ShownBox::Kind::Error ? shown[0].text : QString();
    }

    TemporaryWorkingDirectory workingDirectory;
};

TEST_F(ServerStart, AServerNotThereGivesOneBoxWithItsReasonAndARefreshOnceItIsThereConnects)
{
    PostgresCluster later; // its socket directory holds no server yet
    const DatabaseLocation location = later.location(QStringLiteral("team"));
    open(location);

    QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    const QString prefix = QStringLiteral("无法连接数据库“%1”：").arg(location.text());
    EXPECT_TRUE(shown[0].text.startsWith(prefix)) << shown[0].text.toStdString();
    // libpq's own reason, its first line only.
    EXPECT_TRUE(shown[0].text.contains(later.socketDirectory())) << shown[0].text.toStdString();
    EXPECT_FALSE(shown[0].text.contains(u'\n')) << shown[0].text.toStdString();
    EXPECT_FALSE(form->views().database.isConnected());
    EXPECT_EQ(importRefusal(), boxes::errorBoxText(QStringLiteral(
                                   "数据库没有打开。请检查数据库“%1”，然后点导航条上的刷新按钮重新打开")
                                                       .arg(location.text())));

    // A refresh while the server is still away says so again, once.
    refresh();
    shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.startsWith(prefix)) << shown[0].text.toStdString();

    ASSERT_EQ(later.start(), QString());
    later.createDatabase(QStringLiteral("team"));
    {
        Database server(location);
        server.setConnected(true);
        createServerTables(server);
    }
    refresh();
    EXPECT_TRUE(form->views().database.isConnected());
    EXPECT_TRUE(QDir(workingDirectory.path()).isEmpty()) << "no db.mdb made beside the program";
}

TEST_F(ServerStart, AnEmptyDatabaseAnsweredNoStaysWithoutTablesAndARefreshAsksAgain)
{
    const DatabaseLocation location = newDatabase();
    boxes.queueConfirmAnswer(false);
    open(location);

    QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::YesNoQuestion);
    EXPECT_EQ(shown[0].text, createTablesQuestion(location));
    EXPECT_TRUE(hasNoTables(location));
    EXPECT_FALSE(form->views().database.isConnected());
    EXPECT_FALSE(form->views().customers.isActive());
    EXPECT_EQ(importRefusal(),
              boxes::errorBoxText(
                  QStringLiteral("数据库没有打开：数据库“%1”中还没有本程序的表。点导航条上的刷新按钮，回答“是”即可创建这些表")
                      .arg(location.text())));

    boxes.queueConfirmAnswer(true);
    refresh();
    shown = boxes.takeShown();
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::YesNoQuestion);
    EXPECT_FALSE(hasNoTables(location));
    EXPECT_TRUE(form->views().database.isConnected());
}

TEST_F(ServerStart, AnEmptyDatabaseAnsweredYesGetsEveryTableAndTheNextStartDoesNotAsk)
{
    const DatabaseLocation location = newDatabase();
    boxes.queueConfirmAnswer(true);
    open(location);

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::YesNoQuestion);
    EXPECT_EQ(shown[0].text, createTablesQuestion(location));
    Database server(location);
    server.setConnected(true);
    EXPECT_EQ(missingSchemaParts(server), QStringList());
    EXPECT_TRUE(form->views().database.isConnected());

    // A colleague's start on the same database finds the tables.
    boxes.takeShown();
    form.reset();
    open(location);
    for (const boxes::ShownBox &box : boxes.takeShown())
        EXPECT_NE(box.kind, boxes::ShownBox::Kind::YesNoQuestion) << box.text.toStdString();
}

// A database holding some of the program's tables is not opened, and the box names what it lacks;
// nothing is added to it (a server's tables are made whole, never brought up to date).
struct PartialCase
{
    const char *name;
    const char16_t *change;
    const char16_t *missing;
};

class ServerPartialSchema : public ServerStart, public ::testing::WithParamInterface<PartialCase>
{
};

TEST_P(ServerPartialSchema, TheBoxNamesTheMissingPartsAndNothingIsAdded)
{
    const DatabaseLocation location = newDatabase();
    {
        Database server(location);
        server.setConnected(true);
        createServerTables(server);
    }
    execute(location, QString::fromUtf16(GetParam().change));
    open(location);

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_EQ(shown[0].text, boxes::errorBoxText(QStringLiteral("数据库“%1”缺少%2")
                                                     .arg(location.text(), QString::fromUtf16(GetParam().missing))));
    EXPECT_FALSE(form->views().database.isConnected());
    Database server(location);
    server.setConnected(true);
    EXPECT_EQ(missingSchemaParts(server), QStringList(QString::fromUtf16(GetParam().missing)));
}

INSTANTIATE_TEST_SUITE_P(, ServerPartialSchema,
                         ::testing::Values(PartialCase{"Column", u"alter table 设置 drop column 密码",
                                                       u"表“设置”的列“密码”"},
                                           PartialCase{"Table", u"drop table 发送情况 cascade", u"表“发送情况”"}),
                         [](const ::testing::TestParamInfo<PartialCase> &info) { return std::string(info.param.name); });

// The window connects to the database of either engine it is given, and on a server needs no file
// in its working directory.
class EngineStart : public EngineWindowTest
{
};

TEST_P(EngineStart, TheWindowConnectsToTheDatabaseItIsGiven)
{
    open();
    EXPECT_TRUE(form->views().database.isConnected());
    EXPECT_EQ(form->views().database.location(), db.location());
    if (GetParam() == Engine::Postgres) {
        EXPECT_TRUE(QDir(workingDirectory->path()).isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(, EngineStart, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineTestName);
