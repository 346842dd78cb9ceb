// The .xlsx reader. An input that starts like a zip file is read as it is; any other input is cut
// at the byte 0x1E (record separator) into the parts of a package (below, in order), which are
// zipped first, so that the fuzzer works on the XML rather than on checksums.

#include "ReadWorkbook.h"

#include <QBuffer>

#include <quazip.h>
#include <quazipfile.h>

namespace {

const char *const partNames[] = {
    "_rels/.rels",          "xl/workbook.xml", "xl/_rels/workbook.xml.rels", "xl/worksheets/sheet1.xml",
    "xl/sharedStrings.xml", "xl/styles.xml",   "xl/worksheets/sheet2.xml",
};

QByteArray package(const QByteArray &input)
{
    QBuffer buffer;
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdCreate))
        abort();
    const QList<QByteArray> parts = input.split('\x1e');
    for (qsizetype i = 0; i < parts.size() && i < qsizetype(std::size(partNames)); ++i) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(QString::fromLatin1(partNames[i]))))
            abort();
        file.write(parts.at(i));
        file.close();
    }
    zip.close();
    return buffer.data();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    readWorkbook(input.startsWith("PK") ? input : package(input), QStringLiteral(".xlsx"));
    return 0;
}
