#include "SheetWriter.h"

#include "CsvSheetWriter.h"
#include "XlsxSheetWriter.h"

std::optional<SheetFormat> sheetFormatFor(const QString &fileName)
{
    if (fileName.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return SheetFormat::Xlsx;
    if (fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return SheetFormat::Csv;
    return std::nullopt;
}

std::unique_ptr<SheetWriter> createSheetWriter(SheetFormat format, const QString &path, const QString &sheetName)
{
    switch (format) {
    case SheetFormat::Xlsx: return std::make_unique<XlsxSheetWriter>(path, sheetName);
    case SheetFormat::Csv: return std::make_unique<CsvSheetWriter>(path);
    }
    return nullptr;
}
