#pragma once

#include <QString>

namespace testsupport {

// The repository's root and the build tree, for fixtures and helper scripts.
QString sourcePath(const QString &relative);
QString binaryPath(const QString &relative);
// Debian's own Python, which carries the Debian packages the tests use (aiosmtpd and friends).
QString systemPython();

} // namespace testsupport
