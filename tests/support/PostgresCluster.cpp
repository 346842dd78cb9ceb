#include "PostgresCluster.h"

#include "Database.h"
#include "DatabaseError.h"
#include "Statement.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace testsupport {

namespace {

// The newest installed server's programs.
QString serverPrograms()
{
    QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(), [&](const QString &a, const QString &b) { return numeric.compare(a, b) > 0; });
    for (const QString &version : versions) {
        const QString bin = root.filePath(version + QStringLiteral("/bin"));
        if (QFileInfo(bin + QStringLiteral("/initdb")).isExecutable())
            return bin;
    }
    return {};
}

} // namespace

PostgresCluster::~PostgresCluster()
{
    stop();
}

QString PostgresCluster::dataDirectory() const
{
    return m_dir.filePath(QStringLiteral("data"));
}

QString PostgresCluster::run(const QString &tool, const QStringList &arguments) const
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString program = m_bin + u'/' + tool;
    if (m_asNobody)
        process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), program} + arguments);
    else
        process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return tool + QStringLiteral(" did not finish: ") + process.errorString();
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return tool + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll());
    return {};
}

QString PostgresCluster::start()
{
    if (!m_dir.isValid())
        return QStringLiteral("no temporary directory: ") + m_dir.errorString();
    m_bin = serverPrograms();
    if (m_bin.isEmpty())
        return QStringLiteral("no PostgreSQL server under /usr/lib/postgresql (scripts/install-deps.sh installs it)");
    // The server refuses to run as root; the cluster's directory becomes nobody's.
    if (::geteuid() == 0) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody)
            return QStringLiteral("running as root, and there is no user nobody to run the server as");
        if (::chown(QFile::encodeName(m_dir.path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
            return QStringLiteral("cannot hand the cluster's directory to nobody");
        m_asNobody = true;
    }
    QString failure = run(QStringLiteral("initdb"),
                          {QStringLiteral("-D"), dataDirectory(), QStringLiteral("-U"), user(), QStringLiteral("-A"),
                           QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                           QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync")});
    if (!failure.isEmpty())
        return failure;

    QFile config(dataDirectory() + QStringLiteral("/postgresql.conf"));
    if (!config.open(QIODevice::Append | QIODevice::Text))
        return QStringLiteral("cannot write postgresql.conf: ") + config.errorString();
    // No TCP at all; the socket in the cluster's own directory. The data is thrown away at the end.
    config.write(QStringLiteral("\nlisten_addresses = ''\nunix_socket_directories = '%1'\n"
                                "fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n")
                     .arg(m_dir.path())
                     .toUtf8());
    config.close();

    const QString log = m_dir.filePath(QStringLiteral("server.log"));
    failure = run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), dataDirectory(), QStringLiteral("-l"), log,
                                             QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"),
                                             QStringLiteral("start")});
    // pg_ctl may have started the server and then given up waiting: stop it all the same.
    m_started = QFile::exists(dataDirectory() + QStringLiteral("/postmaster.pid"));
    if (!failure.isEmpty()) {
        QFile serverLog(log);
        if (serverLog.open(QIODevice::ReadOnly))
            failure += QStringLiteral("\nserver log:\n") + QString::fromLocal8Bit(serverLog.readAll());
        return failure;
    }
    return {};
}

void PostgresCluster::stop()
{
    if (!m_started)
        return;
    m_started = false;
    const QString pidFile = dataDirectory() + QStringLiteral("/postmaster.pid");
    QFile file(pidFile);
    const pid_t pid = file.open(QIODevice::ReadOnly) ? pid_t(file.readLine().trimmed().toLong()) : 0;
    file.close();
    if (run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), dataDirectory(), QStringLiteral("-m"),
                                       QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")})
            .isEmpty())
        return;
    // The server this object started, by its own PID and nothing else.
    if (pid > 0)
        ::kill(pid, SIGQUIT);
}

DatabaseLocation PostgresCluster::location(const QString &name) const
{
    DatabaseLocation location;
    location.engine = Engine::Postgres;
    location.file.clear();
    location.host = socketDirectory();
    location.user = user();
    location.databaseName = name;
    return location;
}

DatabaseLocation PostgresCluster::createDatabase(const QString &name)
{
    Database server(location(QStringLiteral("postgres")));
    server.setConnected(true);
    execute(server, QStringLiteral("create database \"%1\"").arg(QString(name).replace(u'"', QStringLiteral("\"\""))));
    return location(name);
}

} // namespace testsupport
