#include "TestPaths.h"

#include <QDir>

namespace testsupport {

QString sourcePath(const QString &relative)
{
    return QDir(QStringLiteral(QUILLON_SOURCE_DIR)).filePath(relative);
}

QString binaryPath(const QString &relative)
{
    return QDir(QStringLiteral(QUILLON_BINARY_DIR)).filePath(relative);
}

QString systemPython()
{
    return QStringLiteral("/usr/bin/python3");
}

} // namespace testsupport
