#include "WorkbookFiles.h"

#include "TestPaths.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtEndian>

#include <algorithm>
#include <numeric>

#include <quazip.h>
#include <quazipfile.h>

#include <gtest/gtest.h>

namespace testbook {
namespace {

// Both formats are written by a helper process from the same description: the .xlsx writer cannot
// share a process with the reader under test, as libxlsxwriter and QuaZip both export minizip.
void writeWith(const QString &program, const QStringList &arguments, const Book &book)
{
    QJsonArray sheets;
    for (const Sheet &sheet : book.sheets) {
        QJsonArray cells;
        for (const Cell &cell : sheet.cells) {
            static const char *const kinds[] = {"text", "number", "boolean", "date", "blank"};
            cells.append(QJsonArray{cell.row, cell.column, QLatin1String(kinds[int(cell.kind)]),
                                    QJsonValue::fromVariant(cell.value), cell.format});
        }
        sheets.append(QJsonObject{{QStringLiteral("name"), sheet.name}, {QStringLiteral("cells"), cells}});
    }
    const QJsonObject description{{QStringLiteral("active"), book.active},
                                  {QStringLiteral("inlineStrings"), book.inlineStrings},
                                  {QStringLiteral("sheets"), sheets}};

    QProcess writer;
    writer.start(program, arguments);
    ASSERT_TRUE(writer.waitForStarted()) << program.toStdString();
    writer.write(QJsonDocument(description).toJson());
    writer.closeWriteChannel();
    // A minute per 100,000 cells at the least: the benchmarks write a million rows on a busy machine.
    const qsizetype cellCount = std::accumulate(book.sheets.cbegin(), book.sheets.cend(), qsizetype(0),
                                                [](qsizetype n, const Sheet &sheet) { return n + sheet.cells.size(); });
    ASSERT_TRUE(writer.waitForFinished(int(std::max<qsizetype>(60000, cellCount * 60000 / 100000))));
    ASSERT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();
}

} // namespace

Book customers(const QList<QPair<QString, QString>> &rows)
{
    Sheet sheet{QStringLiteral("客户"), {}};
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const int row = int(i) + 1;
        if (!rows.at(i).first.isEmpty())
            sheet.cells.append(text(row, 1, rows.at(i).first));
        if (!rows.at(i).second.isEmpty())
            sheet.cells.append(text(row, 2, rows.at(i).second));
    }
    return {{sheet}, 0, false};
}

QString write(const Book &book, Format format, const QString &path)
{
    if (format == Format::Xlsx)
        writeWith(testsupport::binaryPath(QStringLiteral("tests/spreadsheet/make_xlsx")), {path}, book);
    else
        writeWith(testsupport::systemPython(),
                  {testsupport::sourcePath(QStringLiteral("tests/spreadsheet/make_xls.py")), path}, book);
    return path;
}

QString suffix(Format format)
{
    return format == Format::Xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".xls");
}

QByteArray compoundFile(const QList<QPair<QString, QByteArray>> &streams)
{
    constexpr int sector = 512;
    constexpr quint32 endOfChain = 0xFFFFFFFE;
    const auto put32
        = [](QByteArray &bytes, qsizetype at, quint32 value) { qToLittleEndian<quint32>(value, bytes.data() + at); };

    QByteArray header(sector, '\0');
    header.replace(0, 8, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    qToLittleEndian<quint16>(0x3E, header.data() + 0x18);
    qToLittleEndian<quint16>(3, header.data() + 0x1A);
    qToLittleEndian<quint16>(0xFFFE, header.data() + 0x1C);
    qToLittleEndian<quint16>(9, header.data() + 0x1E);
    qToLittleEndian<quint16>(6, header.data() + 0x20);
    put32(header, 0x2C, 1); // one FAT sector: sector 0
    put32(header, 0x30, 1); // the directory: sector 1
    put32(header, 0x38, 4096); // smaller streams would go to the mini stream; ours are padded
    put32(header, 0x3C, endOfChain); // no mini FAT
    put32(header, 0x44, endOfChain); // no DIFAT sectors
    put32(header, 0x4C, 0);
    for (int i = 1; i < 109; ++i)
        put32(header, 0x4C + 4 * i, 0xFFFFFFFF);

    QByteArray fat(sector, '\xFF');
    put32(fat, 0, 0xFFFFFFFD);
    put32(fat, 4, endOfChain);
    QByteArray directory(sector, '\0');
    QByteArray data;
    quint32 next = 2;
    const auto entry = [&](int index, const QString &name, quint8 type, quint32 start, quint32 size) {
        const qsizetype at = index * 128;
        for (qsizetype i = 0; i < name.size(); ++i)
            qToLittleEndian<quint16>(name.at(i).unicode(), directory.data() + at + 2 * i);
        qToLittleEndian<quint16>(quint16((name.size() + 1) * 2), directory.data() + at + 0x40);
        directory[at + 0x42] = char(type);
        directory[at + 0x43] = 1;
        put32(directory, at + 0x44, 0xFFFFFFFF);
        put32(directory, at + 0x48, index + 1 < streams.size() + 1 ? quint32(index + 1) : 0xFFFFFFFF);
        put32(directory, at + 0x4C, index == 0 && !streams.isEmpty() ? 1 : 0xFFFFFFFF);
        put32(directory, at + 0x74, start);
        put32(directory, at + 0x78, size);
    };
    entry(0, QStringLiteral("Root Entry"), 5, endOfChain, 0);
    for (qsizetype s = 0; s < streams.size(); ++s) {
        QByteArray bytes = streams.at(s).second;
        const auto size = quint32(bytes.size());
        bytes.resize(qMax<qsizetype>(((bytes.size() + sector - 1) / sector) * sector, 4096), '\0');
        const quint32 count = quint32(bytes.size() / sector);
        for (quint32 i = 0; i < count; ++i)
            put32(fat, 4 * (next + i), i + 1 < count ? next + i + 1 : endOfChain);
        entry(int(s) + 1, streams.at(s).first, 2, next, qMax<quint32>(size, 4096));
        next += count;
        data += bytes;
    }
    return header + fat + directory + data;
}

void replacePart(const QString &source, const QString &target, const QString &part, const QByteArray &bytes)
{
    QuaZip in(source);
    ASSERT_TRUE(in.open(QuaZip::mdUnzip));
    QuaZip out(target);
    ASSERT_TRUE(out.open(QuaZip::mdCreate));
    for (bool more = in.goToFirstFile(); more; more = in.goToNextFile()) {
        const QString name = in.getCurrentFileName();
        QuaZipFile file(&in);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray data = name == part ? bytes : file.readAll();
        file.close();
        QuaZipFile copy(&out);
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly, QuaZipNewInfo(name)));
        copy.write(data);
        copy.close();
    }
    out.close();
}

QByteArray readPart(const QString &package, const QString &part)
{
    QuaZip zip(package);
    if (!zip.open(QuaZip::mdUnzip) || !zip.setCurrentFile(part))
        return {};
    QuaZipFile file(&zip);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace testbook
