#pragma once

#include "Error.h"

#include <QString>
#include <QStringList>

#include <optional>

// Which engine a database connection speaks to.
enum class Engine {
    Sqlite,
    Postgres,
};

// Where the program keeps its data: the file db.mdb in the working directory (no setting), or a
// PostgreSQL server named by a URL in quillon.ini or on the command line, which a team shares.
// Never a password: the server's password comes from libpq's own ways (~/.pgpass, PGPASSWORD).
struct DatabaseLocation
{
    Engine engine = Engine::Sqlite;
    // The database file (SQLite), taken as given: "db.mdb" is the file in the working directory.
    QString file = QStringLiteral("db.mdb");
    // The server (PostgreSQL). An empty host is libpq's default (its local socket); a host beginning
    // with "/" is the directory of a Unix socket. An empty user is libpq's default, the login user.
    QString host;
    int port = 5432;
    QString user;
    QString databaseName;
    // libpq's own connection options the URL may carry ("sslmode=require", "connect_timeout=10").
    QStringList options;

    bool operator==(const DatabaseLocation &) const = default;

    // The database file at `path`, taken as given.
    static DatabaseLocation inFile(const QString &path)
    {
        DatabaseLocation location;
        location.file = path;
        return location;
    }

    // The location for the user's texts: the file as given, or the URL without any password.
    QString text() const;
};

// A database setting the program cannot use; the text names what is wrong and where it was written.
class DatabaseSettingError : public Error
{
public:
    using Error::Error;

    static DatabaseSettingError badUrl(const QString &url, const QString &reason)
    {
        return DatabaseSettingError(
            QStringLiteral("无法识别数据库地址“%1”：%2。应写作 postgresql://用户@主机:端口/数据库名").arg(url, reason));
    }
    // The URL is not repeated: it holds the password.
    static DatabaseSettingError passwordGiven()
    {
        return DatabaseSettingError(QStringLiteral("数据库设置中不能写密码。请把密码放在 ~/.pgpass 文件或环境变量 "
                                                   "PGPASSWORD 中，设置里只写 postgresql://用户@主机:端口/数据库名"));
    }
    static DatabaseSettingError missingArgument()
    {
        return DatabaseSettingError(QStringLiteral("命令行参数 --database 后缺少数据库地址"));
    }
    static DatabaseSettingError unreadableIni(const QString &path)
    {
        return DatabaseSettingError(QStringLiteral("无法读取设置文件“%1”").arg(path));
    }
};

// The location a URL names: postgresql://user@host:port/dbname, or postgresql:///dbname?host=/dir
// for a Unix socket ("postgres://" as well, as libpq takes it). Throws DatabaseSettingError.
DatabaseLocation parseDatabaseUrl(const QString &url);

// The URL the command line names with "--database URL" or "--database=URL", if any (the last one
// given). Throws DatabaseSettingError when the option has no value.
std::optional<QString> databaseUrlArgument(const QStringList &arguments);

// The setting in the text of quillon.ini: "url" in its [database] section, if any. Throws
// DatabaseSettingError when the section holds a password.
std::optional<QString> databaseUrlInIni(const QString &iniPath);

// The location to use: the command line's URL wins over the ini file's; without either, db.mdb.
DatabaseLocation chooseDatabaseLocation(const std::optional<QString> &commandLineUrl,
                                        const std::optional<QString> &iniUrl);
