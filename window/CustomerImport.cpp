#include "CustomerImport.h"

#include "CustomerImportRun.h"
#include "MessageBoxes.h"
#include "OpenDialog.h"
#include "SkippedRowsFile.h"

#include <QDir>
#include <QEventLoop>
#include <QProgressDialog>

namespace {

// Runs `begin` and serves the window until `done` comes from the import, under a progress box (for
// a window) whose cancel stops the import.
template<typename Signal>
void waitFor(CustomerImportRun &import, const std::function<void()> &begin, Signal done, QWidget *window,
             const QString &label, std::function<QString(int)> progress = {})
{
    QEventLoop loop;
    QObject::connect(&import, done, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    // The window is served meanwhile; the progress box keeps the user from starting anything else
    // on it, shows itself when the import takes longer than a moment, and can cancel.
    std::unique_ptr<QProgressDialog> box;
    if (window) {
        box = std::make_unique<QProgressDialog>(label, QStringLiteral("取消"), 0, 0, window);
        box->setWindowTitle(boxes::applicationTitle());
        box->setWindowModality(Qt::ApplicationModal);
        box->setMinimumDuration(500);
        box->setAutoReset(false);
        QObject::connect(box.get(), &QProgressDialog::canceled, box.get(), [&import] { import.cancel(); });
        if (progress) {
            QObject::connect(
                &import, &CustomerImportRun::committed, box.get(),
                [label = box.get(), progress](int imported) { label->setLabelText(progress(imported)); },
                Qt::QueuedConnection);
        }
        box->setValue(0);
    }
    // Begun once the box is up: setting its value serves events, and the end must not be served
    // before the loop waits for it.
    begin();
    loop.exec();
}

} // namespace

CustomerImport::CustomerImport(DatabaseLocation database, std::function<void()> refresh, QWidget *window,
                               ImportTarget target)
    : m_database(std::move(database))
    , m_refresh(std::move(refresh))
    , m_window(window)
    , m_target(target)
{
}

QString CustomerImport::savedMessage(qsizetype rows, const QString &path)
{
    return QStringLiteral("已将跳过的 %1 行保存到“%2”。").arg(rows).arg(QDir::toNativeSeparators(path));
}

void CustomerImport::run(const QString &path)
{
    CustomerImportRun import(m_database, path, m_target);
    const bool toList = m_target == ImportTarget::RefusalList;

    waitFor(import, [&import] { import.start(); }, &CustomerImportRun::planned, m_window, QStringLiteral("正在读取文件..."));
    if (import.failure())
        std::rethrow_exception(import.failure());
    if (import.cancelled())
        return;

    const ImportPlan &plan = import.plan();
    bool withDuplicates = true;
    if (!plan.rows.isEmpty()) {
        const boxes::ImportChoice choice = boxes::askToImport(m_window, previewText(plan), plan.offersDuplicates());
        if (choice == boxes::ImportChoice::Cancel)
            return;
        withDuplicates = choice == boxes::ImportChoice::Import;
    }

    waitFor(import, [&] { import.write(withDuplicates); }, &CustomerImportRun::finished, m_window,
            toList ? QStringLiteral("正在导入退订名单...") : QStringLiteral("正在导入客户资料..."),
            [toList](int imported) {
                return toList ? QStringLiteral("正在导入退订名单：已导入 %1 个地址").arg(imported)
                              : QStringLiteral("正在导入客户资料：已导入 %1 行").arg(imported);
            });

    m_refresh();
    const ImportOutcome &outcome = import.outcome();
    if (import.cancelled() && outcome.failure.isEmpty() && !import.failure())
        return;
    if (boxes::showImportReport(m_window, reportText(outcome), !outcome.skipped.isEmpty()))
        saveSkipped(outcome);
    if (import.failure())
        std::rethrow_exception(import.failure());
}

void CustomerImport::saveSkipped(const ImportOutcome &outcome)
{
    OpenDialog dialog(m_window, OpenDialog::Purpose::Save);
    dialog.filter = QStringLiteral("CSV文件(*.csv)|*.csv");
    if (!dialog.execute())
        return;
    saveSkippedRows(outcome.skipped, outcome.target, dialog.fileName);
    boxes::showMessage(m_window, savedMessage(outcome.skipped.size(), dialog.fileName));
}
