#include "ServerTrust.h"

#include "Database.h"
#include "Dialect.h"
#include "Statement.h"

namespace {

// A host is the same one whatever the case of its ASCII letters: in a file the column's NOCASE,
// on the server the folded form its unique index holds.
QString sameHost(Engine engine)
{
    return engine == Engine::Postgres ? dialect::asciiLower(engine, QStringLiteral("主机")) + QStringLiteral(" = ")
            + dialect::asciiLower(engine, QStringLiteral("cast(? as text)"))
                                      : QStringLiteral("主机 = ?");
}

} // namespace

QString readTrustedFingerprint(Database &connection, const QString &host, quint16 port)
{
    Statement query(connection,
                    QStringLiteral("select 指纹 from 信任证书 where %1 and 端口 = ?").arg(sameHost(connection.engine())));
    query.bind(1, host);
    query.bind(2, port);
    return query.step() ? query.column(0).toString() : QString();
}

void writeTrustedFingerprint(Database &connection, const QString &host, quint16 port, const QString &fingerprint)
{
    // The host as last written and its fingerprint replace what was kept for it.
    const QString sql = connection.engine() == Engine::Postgres
        ? QStringLiteral("insert into 信任证书(主机, 端口, 指纹) values(?, ?, ?) "
                         "on conflict (lower(主机 COLLATE \"C\"), 端口) "
                         "do update set 主机 = excluded.主机, 指纹 = excluded.指纹")
        : QStringLiteral("insert or replace into 信任证书(主机, 端口, 指纹) values(?, ?, ?)");
    Statement write(connection, sql);
    write.bind(1, host);
    write.bind(2, port);
    write.bind(3, fingerprint);
    write.step();
}

bool readCleartextLoginAgreed(Database &connection, const QString &host, quint16 port, const QString &userName)
{
    Statement query(connection, QStringLiteral("select 1 from 明文登录许可 where %1 and 端口 = ? and 用户名 = ?")
                                    .arg(sameHost(connection.engine())));
    query.bind(1, host);
    query.bind(2, port);
    query.bind(3, userName);
    return query.step();
}

void writeCleartextLoginAgreed(Database &connection, const QString &host, quint16 port, const QString &userName)
{
    const QString sql = connection.engine() == Engine::Postgres
        ? QStringLiteral("insert into 明文登录许可(主机, 端口, 用户名) values(?, ?, ?) on conflict do nothing")
        : QStringLiteral("insert or ignore into 明文登录许可(主机, 端口, 用户名) values(?, ?, ?)");
    Statement write(connection, sql);
    write.bind(1, host);
    write.bind(2, port);
    write.bind(3, userName);
    write.step();
}
