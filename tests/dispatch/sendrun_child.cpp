// A send run in a process of its own, so that a test can kill it at a moment of its choosing:
// sendrun_child <db.mdb or postgresql://…> <server box text> [skip]. The chosen mail is number 2, the
// sender sales@example.test, no pause; "skip": the skip choice on, as a user resuming sets it.
#include "SendRun.h"
#include "SendRunInputs.h"

#include "DatabaseLocation.h"

#include <QCoreApplication>

using namespace std::chrono_literals;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3 && !(argc == 4 && qstrcmp(argv[3], "skip") == 0))
        return 2;
    SendRunInputs inputs;
    inputs.setAccount({QString::fromUtf8(argv[2]), QString(), QString()});
    inputs.setSender({QStringLiteral("销售部"), QStringLiteral("sales@example.test")});
    inputs.setMailChoice(QStringLiteral("2"));
    inputs.setPauseChoice(QStringLiteral("0"));
    inputs.setSkipSent(argc == 4);
    // Ends when the run has (its destructor joins it), or when the test kills the process.
    const QString database = QString::fromUtf8(argv[1]);
    SendRun run(inputs,
                database.startsWith(QStringLiteral("postgres")) ? parseDatabaseUrl(database)
                                                              : DatabaseLocation::inFile(database),
                {.serverWait = 60s, .pauseSecond = 1ms});
    run.start();
    return 0;
}
