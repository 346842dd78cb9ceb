#include "PythonPeer.h"

#include <QProcess>

namespace bench {

std::optional<double> timePythonPeer(const QString &script, std::uint16_t port, int count, const QString &file,
                                     int timeoutMs)
{
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    python.start(QStringLiteral("/usr/bin/python3"),
                 {script, QStringLiteral("127.0.0.1"), QString::number(port), QString::number(count), file});
    if (!python.waitForFinished(timeoutMs) || python.exitCode() != 0)
        return std::nullopt;
    return python.readAllStandardOutput().trimmed().toDouble();
}

} // namespace bench
