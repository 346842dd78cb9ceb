#include "Application.h"

#include "AppTitle.h"
#include "Handlers.h"
#include "MessageBoxes.h"

namespace shell {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quillon"));
    setApplicationVersion(QStringLiteral("1.0.0.0"));
    setApplicationTitle(applicationTitleFor(applicationFilePath()));
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &) {
        showEscapedError(activeWindow(), std::current_exception());
    }
    return false;
}

} // namespace shell
