#include "Application.h"
#include "Startup.h"

#include "window/Unit1.h"

#include <QIcon>

int main(int argc, char *argv[])
{
    shell::Application app(argc, argv);

    shell::SingleInstanceGuard guard;
    if (shell::refuseSecondInstance(guard))
        return 0;

    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 72, 96, 128})
        icon.addFile(QStringLiteral(":/icons/quillon-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);

    TForm1 form;
    form.show();
    app.exec();
    return 0;
}
