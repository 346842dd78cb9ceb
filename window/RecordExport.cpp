#include "RecordExport.h"

#include "Error.h"
#include "MessageBoxes.h"
#include "RecordExportRun.h"

#include <QDir>
#include <QEventLoop>
#include <QProgressDialog>

#include <memory>
#include <optional>

RecordExport::RecordExport(DatabaseLocation database, QWidget *window)
    : m_database(std::move(database))
    , m_window(window)
{
}

QString RecordExport::doneMessage(qint64 written, const QString &path)
{
    return QStringLiteral("已导出 %1 条记录到“%2”。").arg(written).arg(QDir::toNativeSeparators(path));
}

void RecordExport::run(const SendRecordFilter &filter, const QString &path)
{
    auto job = std::make_unique<RecordExportRun>(m_database, filter, path);
    std::optional<qint64> written;
    std::optional<QString> failure;
    QEventLoop loop;
    QObject::connect(job.get(), &RecordExportRun::completed, &loop, [&written](qint64 n) { written = n; },
                     Qt::QueuedConnection);
    QObject::connect(job.get(), &RecordExportRun::failed, &loop, [&failure](const QString &message) {
        failure = message;
    }, Qt::QueuedConnection);
    QObject::connect(job.get(), &RecordExportRun::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);

    // As the customer import's: the window is served meanwhile, the box keeps the user from
    // starting anything else on it, shows itself when the export takes longer than a moment, and
    // can cancel.
    std::unique_ptr<QProgressDialog> box;
    if (m_window) {
        box = std::make_unique<QProgressDialog>(QStringLiteral("正在导出发送记录..."), QStringLiteral("取消"), 0, 0,
                                                m_window);
        box->setWindowTitle(boxes::applicationTitle());
        box->setWindowModality(Qt::ApplicationModal);
        box->setMinimumDuration(500);
        box->setAutoReset(false);
        QObject::connect(box.get(), &QProgressDialog::canceled, box.get(), [job = job.get()] { job->cancel(); });
        auto total = std::make_shared<qint64>(0);
        QObject::connect(
            job.get(), &RecordExportRun::counted, box.get(), [total](qint64 n) { *total = n; }, Qt::QueuedConnection);
        QObject::connect(
            job.get(), &RecordExportRun::progressed, box.get(),
            [label = box.get(), total](qint64 n) {
                label->setLabelText(QStringLiteral("正在导出发送记录：已写入 %1 条，共 %2 条").arg(n).arg(*total));
            },
            Qt::QueuedConnection);
        box->setValue(0);
    }
    // Started once the box is up: setting its value serves events, and the end must not be served
    // before the loop waits for it.
    job->start();
    loop.exec();
    box.reset();
    job.reset();

    if (failure)
        throw Error(*failure);
    if (written)
        boxes::showMessage(m_window, doneMessage(*written, path));
}
