#include "Printers.h"
#include "TestPaths.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

QString probe()
{
    QProcess p;
    p.start(testsupport::binaryPath(QStringLiteral("tests/app/guard_probe")), {});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The real program holds the guard while its window is up; a second start is refused with the
// message, captioned with the program's Chinese title, and the first copy keeps running.
TEST(SingleInstance, SecondStartIsRefusedWhileTheFirstRuns)
{
    ASSERT_EQ(probe(), QStringLiteral("acquired")) << "another instance is already running here";

    QTemporaryDir dir;
    QProcess first;
    first.setWorkingDirectory(dir.path());
    first.start(testsupport::binaryPath(QStringLiteral("quillon")), {});
    ASSERT_TRUE(first.waitForStarted());

    QString answer;
    for (int i = 0; i < 100 && answer != QStringLiteral("refused:邮件发送工具|//你已经打开了软件//"); ++i) {
        QThread::msleep(100);
        answer = probe();
    }
    EXPECT_EQ(answer, QStringLiteral("refused:邮件发送工具|//你已经打开了软件//"));
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished();
    // The lock of a process that is gone is stale: the next start goes ahead.
    EXPECT_EQ(probe(), QStringLiteral("acquired"));
}

// Started alone with no display, the program says in one line what it needs and ends with 1,
// instead of Qt's abort.
TEST(Start, WithoutADisplayExplainsAndExits)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    p.setProcessEnvironment(env);
    p.start(testsupport::binaryPath(QStringLiteral("quillon")), {});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    const QString said = QString::fromUtf8(p.readAllStandardError()).trimmed();
    EXPECT_FALSE(said.contains(u'\n')) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("scripts/run.sh"))) << said.toStdString();
}

} // namespace
