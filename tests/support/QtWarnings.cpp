#include "QtWarnings.h"

#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

namespace testsupport {

namespace {

QtMessageHandler previousHandler = nullptr;

void failOnWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg) {
        if (previousHandler)
            previousHandler(type, context, message);
        return;
    }
    // The offscreen platform the tests run on cannot raise a window or grab the keyboard, as a
    // drop-down list asks it to; that is the test platform's limit, not the program's fault.
    if (message.startsWith(QLatin1String("This plugin does not support ")))
        return;
    ADD_FAILURE_AT(context.file ? context.file : "(Qt)", context.line) << "Qt said: " << message.toStdString();
}

} // namespace

void failOnQtWarnings()
{
    previousHandler = qInstallMessageHandler(failOnWarning);
}

} // namespace testsupport
