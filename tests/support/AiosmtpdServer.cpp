#include "AiosmtpdServer.h"

#include "TestPaths.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <stdexcept>
#include <thread>

namespace testsupport {

AiosmtpdServer::AiosmtpdServer()
    : AiosmtpdServer(Options())
{
}

AiosmtpdServer::AiosmtpdServer(const Options &options)
    : m_options(options)
{
    if (!m_folder.isValid())
        throw std::runtime_error("no temporary folder for the received messages");
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments = {sourcePath(QStringLiteral("tests/support/smtp_server.py")),
                             QStringLiteral("--host"),
                             options.address,
                             QStringLiteral("--port"),
                             QString::number(options.port),
                             QStringLiteral("--user"),
                             options.user,
                             QStringLiteral("--password"),
                             options.password,
                             QStringLiteral("--folder"),
                             m_folder.path(),
                             QStringLiteral("--deadline"),
                             QString::number(options.deadline.count())};
    if (options.tls != Options::Tls::None)
        arguments += {QStringLiteral("--tls"),
                      options.tls == Options::Tls::StartTls ? QStringLiteral("starttls") : QStringLiteral("implicit"),
                      QStringLiteral("--cert"),
                      options.certificate,
                      QStringLiteral("--key"),
                      options.key};
    if (!options.eightBitMime)
        arguments.append(QStringLiteral("--no-8bitmime"));
    if (options.quota > 0)
        arguments += {QStringLiteral("--quota"), QString::number(options.quota)};
    m_process.start(systemPython(), arguments);
    // The first line tells the port once the server listens.
    QByteArray line;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!line.endsWith('\n') && std::chrono::steady_clock::now() < giveUp
           && m_process.state() != QProcess::NotRunning) {
        if (m_process.canReadLine() || m_process.waitForReadyRead(200))
            line += m_process.readLine();
    }
    if (!line.startsWith("LISTENING ")) {
        m_process.kill();
        m_process.waitForFinished(5000);
        throw std::runtime_error("aiosmtpd did not start: " + line.toStdString());
    }
    m_port = quint16(line.mid(10).trimmed().toUInt());
}

AiosmtpdServer::~AiosmtpdServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QList<ReceivedMessage> AiosmtpdServer::messages() const
{
    QList<ReceivedMessage> received;
    const QDir folder(m_folder.path());
    const QStringList names = folder.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        ReceivedMessage message;
        QFile envelope(folder.filePath(name));
        message.path = folder.filePath(name.chopped(5) + QStringLiteral(".eml"));
        QFile data(message.path);
        if (!envelope.open(QIODevice::ReadOnly) || !data.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject json = QJsonDocument::fromJson(envelope.readAll()).object();
        message.mailFrom = json.value(QLatin1String("mail_from")).toString();
        for (const QJsonValue &option : json.value(QLatin1String("mail_options")).toArray())
            message.mailOptions.append(option.toString());
        for (const QJsonValue &to : json.value(QLatin1String("rcpt_tos")).toArray())
            message.rcptTos.append(to.toString());
        message.login = json.value(QLatin1String("login")).toString();
        message.tls = json.value(QLatin1String("tls")).toBool();
        message.data = data.readAll();
        received.append(message);
    }
    return received;
}

QList<ReceivedMessage> AiosmtpdServer::waitForMessages(int count, std::chrono::milliseconds timeout) const
{
    const auto giveUp = std::chrono::steady_clock::now() + timeout;
    QList<ReceivedMessage> received = messages();
    while (received.size() < count && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        received = messages();
    }
    return received;
}

QStringList AiosmtpdServer::authAttempts() const
{
    QFile log(QDir(m_folder.path()).filePath(QStringLiteral("auth.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QJsonObject parseWithPythonEmail(const QString &path)
{
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    python.start(systemPython(), {sourcePath(QStringLiteral("tests/support/parse_message.py")), path});
    if (!python.waitForFinished(20000)) {
        python.kill();
        python.waitForFinished(5000);
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

} // namespace testsupport
