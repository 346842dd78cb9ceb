#include "SkippedRowsFile.h"

#include "CsvSheetWriter.h"
#include "PendingFile.h"

#include <array>

void saveSkippedRows(const QList<SkippedRow> &rows, ImportTarget target, const QString &path)
{
    PendingFile file(path);
    {
        CsvSheetWriter writer(file.path());
        const bool list = target == ImportTarget::RefusalList;
        const QByteArray number = QStringLiteral("行号").toUtf8();
        const QByteArray name = QStringLiteral("客户名称").toUtf8();
        const QByteArray address = QStringLiteral("电子邮件地址").toUtf8();
        const QByteArray reason = QStringLiteral("原因").toUtf8();
        if (list) {
            const std::array heading{SheetCell::text(number), SheetCell::text(address), SheetCell::text(reason)};
            writer.writeRow(heading);
        } else {
            const std::array heading{SheetCell::text(number), SheetCell::text(name), SheetCell::text(address),
                                     SheetCell::text(reason)};
            writer.writeRow(heading);
        }
        for (const SkippedRow &row : rows) {
            const QByteArray rowName = row.row.name.toUtf8();
            const QByteArray rowAddress = row.row.address.toUtf8();
            const QByteArray rowReason = row.reason.toUtf8();
            if (list) {
                const std::array cells{SheetCell::number(row.row.row), SheetCell::text(rowAddress),
                                       SheetCell::text(rowReason)};
                writer.writeRow(cells);
            } else {
                const std::array cells{SheetCell::number(row.row.row), SheetCell::text(rowName),
                                       SheetCell::text(rowAddress), SheetCell::text(rowReason)};
                writer.writeRow(cells);
            }
        }
        writer.finish();
    }
    file.commit();
}
