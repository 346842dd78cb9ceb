#include "Startup.h"

#include "MessageBoxes.h"

#include <cstdio>

namespace app {

bool refuseSecondInstance(SingleInstanceGuard &guard)
{
    if (guard.tryAcquire())
        return false;
    std::fprintf(stderr, "%s\n",
                 qUtf8Printable(QStringLiteral("邮件发送工具已经在运行，不再启动第二个。(Quillon is already running.)")));
    boxes::showMessage(nullptr, QStringLiteral("//你已经打开了软件//"));
    return true;
}

std::optional<DatabaseLocation> chooseDatabase(const QStringList &arguments)
{
    try {
        return chooseDatabaseLocation(databaseUrlArgument(arguments),
                                      databaseUrlInIni(QStringLiteral("quillon.ini")));
    } catch (const DatabaseSettingError &e) {
        std::fprintf(stderr, "quillon: %s\n", qUtf8Printable(e.message()));
        boxes::showError(nullptr, e.message());
        return std::nullopt;
    }
}

bool displayAvailable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

QString noDisplayText()
{
    return QStringLiteral(
        "quillon: 没有可用的显示器。请在图形桌面中启动本程序，或用 scripts/run.sh 启动（无显示器时它在本机回环地址上通过 VNC 提供窗口）。");
}

} // namespace app
