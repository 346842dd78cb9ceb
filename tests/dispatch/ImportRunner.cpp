#include "ImportRunner.h"

#include "Error.h"

#include <QEventLoop>

#include <exception>

namespace testimport {

Outcome runImport(const DatabaseLocation &database, const QString &path, ImportTarget target, bool withDuplicates,
                  int cancelAt, const std::function<void()> &beforeWriting)
{
    CustomerImportRun import(database, path, target);
    Outcome outcome;
    QObject::connect(
        &import, &CustomerImportRun::committed, &import,
        [&](int imported) {
            outcome.commits.append(imported);
            if (cancelAt >= 0 && imported >= cancelAt)
                import.cancel();
        },
        Qt::DirectConnection);
    const auto wait = [&import](auto signal, const std::function<void()> &begin) {
        QEventLoop loop;
        QObject::connect(&import, signal, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        begin();
        loop.exec();
    };
    wait(&CustomerImportRun::planned, [&] { import.start(); });
    outcome.opened = import.opened();
    outcome.plan = import.plan();
    if (!import.failure()) {
        if (beforeWriting)
            beforeWriting();
        wait(&CustomerImportRun::finished, [&] { import.write(withDuplicates); });
        outcome.report = import.outcome();
        outcome.failure = outcome.report.failure;
    }
    outcome.imported = import.imported();
    if (import.failure()) {
        try {
            std::rethrow_exception(import.failure());
        } catch (const Error &e) {
            outcome.failure = e.message();
        }
    }
    return outcome;
}

} // namespace testimport
