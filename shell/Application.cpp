#include "Application.h"

#include "AppTitle.h"
#include "Exception.h"
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
    } catch (const Exception &e) {
        showError(activeWindow(), e.message());
    } catch (const std::exception &e) {
        showError(activeWindow(), QString::fromUtf8(e.what()));
    }
    return false;
}

} // namespace shell
