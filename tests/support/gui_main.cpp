#include "Application.h"
#include "QtWarnings.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt warns when the session has no runtime directory (as under CI); the tests give it one.
    QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.isValid()) {
        QFile::setPermissions(runtimeDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    }
    // The program's own application object, so that an error escaping a handler meets the same
    // last catch in the tests as in use.
    app::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::failOnQtWarnings();
    return RUN_ALL_TESTS();
}
