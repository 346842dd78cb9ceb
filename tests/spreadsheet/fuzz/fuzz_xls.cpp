// The .xls reader (compound file, workbook records, FreeXL) on arbitrary bytes.

#include "ReadWorkbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readWorkbook(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)),
                 QStringLiteral(".xls"));
    return 0;
}
