#include "ServerTrust.h"

#include "Statement.h"

QString readTrustedFingerprint(sqlite3 *handle, const QString &host, quint16 port)
{
    Statement query(handle, QStringLiteral("select 指纹 from 信任证书 where 主机 = ? and 端口 = ?"));
    query.bind(1, host);
    query.bind(2, port);
    return query.step() ? query.column(0).toString() : QString();
}

void writeTrustedFingerprint(sqlite3 *handle, const QString &host, quint16 port, const QString &fingerprint)
{
    Statement write(handle, QStringLiteral("insert or replace into 信任证书(主机, 端口, 指纹) values(?, ?, ?)"));
    write.bind(1, host);
    write.bind(2, port);
    write.bind(3, fingerprint);
    write.step();
}

bool readCleartextLoginAgreed(sqlite3 *handle, const QString &host, quint16 port, const QString &userName)
{
    Statement query(handle,
                    QStringLiteral("select 1 from 明文登录许可 where 主机 = ? and 端口 = ? and 用户名 = ?"));
    query.bind(1, host);
    query.bind(2, port);
    query.bind(3, userName);
    return query.step();
}

void writeCleartextLoginAgreed(sqlite3 *handle, const QString &host, quint16 port, const QString &userName)
{
    Statement write(handle,
                    QStringLiteral("insert or ignore into 明文登录许可(主机, 端口, 用户名) values(?, ?, ?)"));
    write.bind(1, host);
    write.bind(2, port);
    write.bind(3, userName);
    write.step();
}
