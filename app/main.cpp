#include "Application.h"
#include "Startup.h"

#include "MainWindow.h"
#include "ProcessMemory.h"

#include <QIcon>

#include <cstdio>

int main(int argc, char *argv[])
{
    tuneAllocator();
    if (!app::displayAvailable()) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(app::noDisplayText()));
        return 1;
    }
    app::Application app(argc, argv);

    app::SingleInstanceGuard guard;
    if (app::refuseSecondInstance(guard))
        return app::SecondInstanceStatus;

    const std::optional<DatabaseLocation> location = app::chooseDatabase(app.arguments());
    if (!location)
        return app::BadSettingStatus;

    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 72, 96, 128})
        icon.addFile(QStringLiteral(":/icons/quillon-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);

    MainWindow form(*location);
    form.show();
    app.exec();
    return 0;
}
