#include "Application.h"

#include "Handlers.h"
#include "MessageBoxes.h"

#include <QLibraryInfo>

namespace app {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quillon"));
    setApplicationVersion(QStringLiteral("1.0.0.0"));
    // Qt's own texts (a file dialog's labels and menus, a line box's context menu) in Chinese,
    // whatever the machine's locale: the user reads Chinese. The boxes set their buttons' texts
    // themselves, so they read Chinese even where the translation is not installed.
    if (m_qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
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
