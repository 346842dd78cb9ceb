#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QGuiApplication>

#include <unistd.h>

namespace app {

QString SingleInstanceGuard::lockPath()
{
    // The display: X11 or Wayland socket name, or the platform (offscreen, vnc) when there is none.
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = QGuiApplication::platformName();
    const QByteArray tag = QCryptographicHash::hash(display.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return QDir::temp().filePath(QStringLiteral("quillon-%1-%2.lock").arg(getuid()).arg(QString::fromLatin1(tag)));
}

SingleInstanceGuard::SingleInstanceGuard()
    : m_lock(std::make_unique<QLockFile>(lockPath()))
{
}

bool SingleInstanceGuard::tryAcquire()
{
    return m_lock->tryLock(0);
}

} // namespace app
