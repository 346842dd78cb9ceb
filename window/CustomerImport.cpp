#include "CustomerImport.h"

#include "CustomerImportRun.h"
#include "MessageBoxes.h"

#include <QEventLoop>
#include <QProgressDialog>

CustomerImport::CustomerImport(QString databasePath, std::function<void()> refresh, QWidget *window,
                               ImportTarget target)
    : m_databasePath(std::move(databasePath))
    , m_refresh(std::move(refresh))
    , m_window(window)
    , m_target(target)
{
}

void CustomerImport::run(const QString &path)
{
    CustomerImportRun import(m_databasePath, path, m_target);
    const bool toList = m_target == ImportTarget::RefusalList;
    QEventLoop loop;
    QObject::connect(&import, &CustomerImportRun::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);

    // The window is served meanwhile; the progress box keeps the user from starting anything else
    // on it, shows itself when the import takes longer than a moment, and can cancel.
    std::unique_ptr<QProgressDialog> box;
    if (m_window) {
        box = std::make_unique<QProgressDialog>(toList ? QStringLiteral("正在导入退订名单...") : QStringLiteral("正在导入客户资料..."), QStringLiteral("取消"), 0, 0,
                                                m_window);
        box->setWindowTitle(boxes::applicationTitle());
        box->setWindowModality(Qt::ApplicationModal);
        box->setMinimumDuration(500);
        box->setAutoReset(false);
        QObject::connect(box.get(), &QProgressDialog::canceled, box.get(), [&import] { import.cancel(); });
        QObject::connect(
            &import, &CustomerImportRun::committed, box.get(),
            [label = box.get(), toList](int imported) {
                label->setLabelText(toList ? QStringLiteral("正在导入退订名单：已导入 %1 个地址").arg(imported)
                                           : QStringLiteral("正在导入客户资料：已导入 %1 行").arg(imported));
            },
            Qt::QueuedConnection);
        box->setValue(0);
    }
    // Started once the box is up: setting its value serves events, and the end must not be served
    // before the loop waits for it.
    import.start();
    loop.exec();
    box.reset();

    if (!import.opened())
        std::rethrow_exception(import.failure());
    m_refresh();
    if (import.cancelled() && !import.failure())
        return;
    if (import.imported() > 0 || !import.failure())
        boxes::showMessage(m_window, toList ? listDoneMessage(import.imported(), import.alreadyListed()) : doneMessage());
    if (import.failure())
        std::rethrow_exception(import.failure());
}
