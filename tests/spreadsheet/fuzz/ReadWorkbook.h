#pragma once

#include "Workbook.h"

#include <QFile>
#include <QTemporaryDir>

// Writes the input to a file and reads it as the import would, up to a bound on the rows.
inline void readWorkbook(const QByteArray &bytes, const QString &suffix)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input") + suffix);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        abort();
    file.write(bytes);
    file.close();
    try {
        const auto workbook = openWorkbook(path);
        const int rows = qMin(workbook->usedRowCount(), 2000);
        for (int row = 1; row <= rows + 1; ++row) {
            workbook->cellText(row, 1);
            workbook->cellText(row, 2);
        }
        workbook->close();
    } catch (const SpreadsheetError &) {
    }
}
