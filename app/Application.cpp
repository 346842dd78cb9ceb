#include "Application.h"

#include "AppTitle.h"
#include "Handlers.h"
#include "MessageBoxes.h"

#include <QLibraryInfo>
#include <QLocale>

namespace app {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quillon"));
    setApplicationVersion(QStringLiteral("1.0.0.0"));
    boxes::setApplicationTitle(boxes::applicationTitleFor(applicationFilePath()));
    if (m_qtTranslator.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(&m_qtTranslator);
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
