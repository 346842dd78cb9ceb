#include "Application.h"

#include "AppTitle.h"
#include "Handlers.h"
#include "MessageBoxes.h"

namespace app {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quillon"));
    setApplicationVersion(QStringLiteral("1.0.0.0"));
    boxes::setApplicationTitle(boxes::applicationTitleFor(applicationFilePath()));
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &) {
        boxes::showEscapedError(activeWindow(), std::current_exception());
    }
    return false;
}

} // namespace app
