#include "DatabaseLocation.h"
#include "Printers.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

void PrintTo(const DatabaseLocation &location, std::ostream *os)
{
    *os << (location.engine == Engine::Sqlite ? "sqlite " : "postgres ") << location.file.toStdString() << " host "
        << location.host.toStdString() << " port " << location.port << " user " << location.user.toStdString()
        << " db " << location.databaseName.toStdString() << " options " << location.options.join(u' ').toStdString();
}

namespace {

DatabaseLocation server(QString host, int port, QString user, QString name, QStringList options = {})
{
    DatabaseLocation location;
    location.engine = Engine::Postgres;
    location.file.clear();
    location.host = std::move(host);
    location.port = port;
    location.user = std::move(user);
    location.databaseName = std::move(name);
    location.options = std::move(options);
    return location;
}

QString badUrl(const QString &url, const QString &reason)
{
    return DatabaseSettingError::badUrl(url, reason).message();
}

const QString PasswordText = QStringLiteral("数据库设置中不能写密码。请把密码放在 ~/.pgpass 文件或环境变量 PGPASSWORD "
                                            "中，设置里只写 postgresql://用户@主机:端口/数据库名");

} // namespace

TEST(DatabaseLocation, UrlsNameTheServer)
{
    const struct
    {
        QString url;
        DatabaseLocation expected;
    } cases[] = {
        {QStringLiteral("postgresql://anna@db.example.com:6543/shop"),
         server(QStringLiteral("db.example.com"), 6543, QStringLiteral("anna"), QStringLiteral("shop"))},
        // the port defaults to 5432, the user to the login user (left to libpq)
        {QStringLiteral("postgresql://db.example.com/shop"),
         server(QStringLiteral("db.example.com"), 5432, {}, QStringLiteral("shop"))},
        {QStringLiteral("postgres://anna@10.0.0.5/shop"),
         server(QStringLiteral("10.0.0.5"), 5432, QStringLiteral("anna"), QStringLiteral("shop"))},
        {QStringLiteral("postgresql://anna@[::1]:5433/shop"),
         server(QStringLiteral("::1"), 5433, QStringLiteral("anna"), QStringLiteral("shop"))},
        // a Unix socket: the directory in the query, plain or percent-encoded
        {QStringLiteral("postgresql:///shop?host=/run/postgresql"),
         server(QStringLiteral("/run/postgresql"), 5432, {}, QStringLiteral("shop"))},
        {QStringLiteral("postgresql:///shop?host=%2Ftmp%2Fpg%20dir&port=5999&user=bob"),
         server(QStringLiteral("/tmp/pg dir"), 5999, QStringLiteral("bob"), QStringLiteral("shop"))},
        {QStringLiteral("postgresql:///shop"), server({}, 5432, {}, QStringLiteral("shop"))},
        // Chinese names, percent-encoded or not
        {QStringLiteral("postgresql://%E5%BC%A0%E4%B8%89@db/%E5%AE%A2%E6%88%B7"),
         server(QStringLiteral("db"), 5432, QStringLiteral("张三"), QStringLiteral("客户"))},
        {QStringLiteral("postgresql://张三@db/客户"),
         server(QStringLiteral("db"), 5432, QStringLiteral("张三"), QStringLiteral("客户"))},
        {QStringLiteral("  postgresql://anna@db/shop?sslmode=require&connect_timeout=10  "),
         server(QStringLiteral("db"), 5432, QStringLiteral("anna"), QStringLiteral("shop"),
                {QStringLiteral("sslmode=require"), QStringLiteral("connect_timeout=10")})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        EXPECT_EQ(parseDatabaseUrl(c.url), c.expected);
    }
}

TEST(DatabaseLocation, UnusableUrlsAreRefusedInChinese)
{
    const struct
    {
        QString url;
        QString text;
    } cases[] = {
        {QStringLiteral("mysql://anna@db/shop"),
         badUrl(QStringLiteral("mysql://anna@db/shop"), QStringLiteral("只支持 postgresql:// 开头的地址"))},
        {QStringLiteral("db.mdb"), badUrl(QStringLiteral("db.mdb"), QStringLiteral("只支持 postgresql:// 开头的地址"))},
        {QStringLiteral("postgresql://anna@db"), badUrl(QStringLiteral("postgresql://anna@db"), QStringLiteral("缺少数据库名"))},
        {QStringLiteral("postgresql://anna@db/"), badUrl(QStringLiteral("postgresql://anna@db/"), QStringLiteral("缺少数据库名"))},
        {QStringLiteral("postgresql://anna@db/a/b"),
         badUrl(QStringLiteral("postgresql://anna@db/a/b"), QStringLiteral("缺少数据库名"))},
        {QStringLiteral("postgresql://anna@db:99999/shop"),
         badUrl(QStringLiteral("postgresql://anna@db:99999/shop"), QStringLiteral("格式不正确"))},
        {QStringLiteral("postgresql://anna@db:0/shop"),
         badUrl(QStringLiteral("postgresql://anna@db:0/shop"), QStringLiteral("端口“0”不是 1 到 65535 之间的数"))},
        {QStringLiteral("postgresql:///shop?port=abc"),
         badUrl(QStringLiteral("postgresql:///shop?port=abc"), QStringLiteral("端口“abc”不是 1 到 65535 之间的数"))},
        {QStringLiteral("postgresql://db/shop?options=-c%20x"),
         badUrl(QStringLiteral("postgresql://db/shop?options=-c%20x"), QStringLiteral("不认识的参数“options”"))},
        {QStringLiteral("postgresql://db/shop?sslmode=a;b"),
         badUrl(QStringLiteral("postgresql://db/shop?sslmode=a;b"), QStringLiteral("参数“sslmode”的值不能含“;”"))},
        {QStringLiteral("postgresql://db/shop#x"), badUrl(QStringLiteral("postgresql://db/shop#x"), QStringLiteral("地址中不能有“#”"))},
        // a password anywhere, and the message never repeats it
        {QStringLiteral("postgresql://anna:geheim@db/shop"), PasswordText},
        {QStringLiteral("postgresql://anna:@db/shop"), PasswordText},
        {QStringLiteral("postgresql://anna:geheim@db:bad/shop"), PasswordText},
        {QStringLiteral("postgresql://anna@db/shop?password=geheim"), PasswordText},
        {QStringLiteral("postgresql:///shop?host=/tmp&PASSWORD=geheim"), PasswordText},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        try {
            parseDatabaseUrl(c.url);
            ADD_FAILURE() << "accepted";
        } catch (const DatabaseSettingError &e) {
            EXPECT_EQ(e.message(), c.text);
            EXPECT_FALSE(e.message().contains(QStringLiteral("geheim")));
        }
    }
}

TEST(DatabaseLocation, TheCommandLineWinsOverTheIniFile)
{
    const QString fromIni = QStringLiteral("postgresql://anna@ini-host/shop");
    const QString fromCommandLine = QStringLiteral("postgresql://anna@cli-host/shop");
    const DatabaseLocation file;
    EXPECT_EQ(file.engine, Engine::Sqlite);
    EXPECT_EQ(file.file, QStringLiteral("db.mdb"));
    EXPECT_EQ(chooseDatabaseLocation(std::nullopt, std::nullopt), file);
    EXPECT_EQ(chooseDatabaseLocation(std::nullopt, fromIni).host, QStringLiteral("ini-host"));
    EXPECT_EQ(chooseDatabaseLocation(fromCommandLine, fromIni).host, QStringLiteral("cli-host"));
    // a bad command line is refused, not passed over for the ini file
    EXPECT_THROW(chooseDatabaseLocation(QStringLiteral("nonsense"), fromIni), DatabaseSettingError);
}

TEST(DatabaseLocation, CommandLineArguments)
{
    const QString url = QStringLiteral("postgresql:///shop");
    const struct
    {
        QStringList arguments;
        std::optional<QString> expected;
    } cases[] = {
        {{QStringLiteral("quillon")}, std::nullopt},
        {{QStringLiteral("quillon"), QStringLiteral("--database"), url}, url},
        {{QStringLiteral("quillon"), QStringLiteral("--database=") + url}, url},
        {{QStringLiteral("quillon"), QStringLiteral("--database=x"), QStringLiteral("--database"), url}, url},
        // the program's own name is never taken for the option
        {{QStringLiteral("--database")}, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(databaseUrlArgument(c.arguments), c.expected) << c.arguments.join(u' ').toStdString();

    for (const QStringList &arguments : {QStringList{QStringLiteral("quillon"), QStringLiteral("--database")},
                                         QStringList{QStringLiteral("quillon"), QStringLiteral("--database=")}}) {
        try {
            databaseUrlArgument(arguments);
            ADD_FAILURE() << arguments.join(u' ').toStdString();
        } catch (const DatabaseSettingError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("命令行参数 --database 后缺少数据库地址"));
        }
    }
}

TEST(DatabaseLocation, IniFile)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("quillon.ini"));
    const auto write = [&](const QByteArray &text) {
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    };
    EXPECT_EQ(databaseUrlInIni(ini), std::nullopt);

    const struct
    {
        QByteArray text;
        std::optional<QString> expected;
    } cases[] = {
        {"[database]\nurl=postgresql://anna@db/shop\n", QStringLiteral("postgresql://anna@db/shop")},
        {"[database]\nurl = postgresql:///shop?host=%2Ftmp%2Fpg\n", QStringLiteral("postgresql:///shop?host=%2Ftmp%2Fpg")},
        {"[database]\nurl=postgresql://db/shop?sslmode=require,x\n", QStringLiteral("postgresql://db/shop?sslmode=require,x")},
        {"[database]\nurl=postgresql://张三@db/客户\n", QStringLiteral("postgresql://张三@db/客户")},
        {"[other]\nurl=postgresql://anna@db/shop\n", std::nullopt},
        {"[database]\nurl=\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &c : cases) {
        write(c.text);
        EXPECT_EQ(databaseUrlInIni(ini), c.expected) << c.text.toStdString();
    }

    write("[database]\nurl=postgresql://anna@db/shop\npassword=geheim\n");
    try {
        databaseUrlInIni(ini);
        ADD_FAILURE() << "a password in the ini file was taken";
    } catch (const DatabaseSettingError &e) {
        EXPECT_EQ(e.message(), PasswordText);
    }
}

TEST(DatabaseLocation, TextNeverHoldsAPassword)
{
    const struct
    {
        QString url;
        QString text;
    } cases[] = {
        {QStringLiteral("postgresql://anna@db:6543/shop"), QStringLiteral("postgresql://anna@db:6543/shop")},
        {QStringLiteral("postgresql://anna@db/shop"), QStringLiteral("postgresql://anna@db:5432/shop")},
        {QStringLiteral("postgresql:///shop?host=/tmp/pg"), QStringLiteral("postgresql:///shop?host=/tmp/pg")},
        {QStringLiteral("postgresql:///shop?host=/tmp/pg&user=anna"),
         QStringLiteral("postgresql:///shop?host=/tmp/pg&user=anna")},
        {QStringLiteral("postgresql://张三@db/客户"), QStringLiteral("postgresql://张三@db:5432/客户")},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(parseDatabaseUrl(c.url).text(), c.text) << c.url.toStdString();
        // The text names the same database again (a child process is handed it).
        EXPECT_EQ(parseDatabaseUrl(parseDatabaseUrl(c.url).text()), parseDatabaseUrl(c.url)) << c.url.toStdString();
    }
    EXPECT_EQ(DatabaseLocation().text(), QStringLiteral("db.mdb"));
}
