// The spreadsheet readers on real .xls and .xlsx files made for each test.

#include "WorkbookFiles.h"

#include "Printers.h"
#include "TestPaths.h"
#include "Workbook.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace testbook;

namespace {

class Files
{
public:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path(name);
    }
    QByteArray read(const QString &name) const
    {
        QFile file(path(name));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

private:
    QTemporaryDir m_dir;
};

QString errorOpening(const QString &path)
{
    try {
        const auto workbook = openWorkbook(path);
        for (int row = 1; row <= workbook->usedRowCount() + 1; ++row)
            workbook->cellText(row, 1);
    } catch (const SpreadsheetError &e) {
        return e.message();
    }
    return {};
}

std::string formatName(const testing::TestParamInfo<Format> &info)
{
    return info.param == Format::Xlsx ? "xlsx" : "xls";
}

// ---- cell values: text as stored, everything else turned into the text the user sees

struct ValueCase
{
    const char *name;
    Cell cell;
    QString xlsxText;
    QString xlsText; // where FreeXL tells less than the package does
};

const ValueCase valueCases[] = {
    {"Chinese", text(1, 1, QStringLiteral("张三")), QStringLiteral("张三"), {}},
    {"Blanks", text(1, 1, QStringLiteral("  ")), QStringLiteral("  "), {}},
    {"PhoneNumber", number(1, 1, 13800138000.0), QStringLiteral("13800138000"), {}},
    {"Fraction", number(1, 1, 3.14), QStringLiteral("3.14"), {}},
    {"Negative", number(1, 1, -5), QStringLiteral("-5"), {}},
    {"FifteenDigits", number(1, 1, 0.1 + 0.2), QStringLiteral("0.3"), {}},
    {"Huge", number(1, 1, 1e20), QStringLiteral("100000000000000000000"), {}},
    {"Tiny", number(1, 1, 0.000001), QStringLiteral("0.000001"), {}},
    {"FormattedNumber", number(1, 1, 2.5, QStringLiteral("0.00")), QStringLiteral("2.5"), {}},
    {"Date", date(1, 1, QStringLiteral("2024-03-15"), QStringLiteral("yyyy-mm-dd")), QStringLiteral("2024-03-15"), {}},
    {"ChineseDate",
     date(1, 1, QStringLiteral("2024-03-15"), QStringLiteral("yyyy\"年\"m\"月\"d\"日\"")),
     QStringLiteral("2024-03-15"),
     {}},
    {"BuiltInDate", date(1, 1, QStringLiteral("2024-03-15"), QStringLiteral("#14")), QStringLiteral("2024-03-15"), {}},
    {"DateTime",
     date(1, 1, QStringLiteral("2024-03-15T08:30:05"), QStringLiteral("yyyy-mm-dd hh:mm:ss")),
     QStringLiteral("2024-03-15 08:30:05"),
     {}},
    {"Time", date(1, 1, QStringLiteral("08:30:00"), QStringLiteral("hh:mm")), QStringLiteral("08:30:00"), {}},
    {"Boolean", boolean(1, 1, true), QStringLiteral("TRUE"), QStringLiteral("1")},
    {"FormattedBlank", blank(1, 1), QString(), {}},
};

void PrintTo(const ValueCase &c, std::ostream *os)
{
    *os << c.name;
}

class CellValue : public testing::TestWithParam<std::tuple<Format, ValueCase>>
{
};

TEST_P(CellValue, IsTurnedIntoText)
{
    const auto [format, c] = GetParam();
    Files files;
    Book book{{{QStringLiteral("Sheet1"), {c.cell, text(1, 2, QStringLiteral("x"))}}}};
    const auto workbook = openWorkbook(write(book, format, files.path(QStringLiteral("v") + suffix(format))));
    const QString expected = format == Format::Xls && !c.xlsText.isNull() ? c.xlsText : c.xlsxText;
    EXPECT_EQ(workbook->cellText(1, 1), expected);
    EXPECT_EQ(workbook->cellText(1, 2), QStringLiteral("x"));
}

INSTANTIATE_TEST_SUITE_P(
    Readers, CellValue, testing::Combine(testing::Values(Format::Xls, Format::Xlsx), testing::ValuesIn(valueCases)),
    [](const auto &info) {
        return formatName({std::get<0>(info.param), info.index}) + "_" + std::get<1>(info.param).name;
    });

// ---- the used range of the first worksheet, and the cells of the active one

class Layout : public testing::TestWithParam<Format>
{
protected:
    std::unique_ptr<Workbook> open(const Book &book)
    {
        return openWorkbook(write(book, GetParam(), m_files.path(QStringLiteral("b") + suffix(GetParam()))));
    }
    Files m_files;
};

TEST_P(Layout, UsedRangeCountsFromTheFirstRowHoldingACell)
{
    struct Case
    {
        QList<Cell> cells;
        int rows;
    };
    const Case cases[] = {
        {{text(1, 1, QStringLiteral("a")), text(2, 2, QStringLiteral("b")), text(3, 1, QStringLiteral("c"))}, 3},
        {{text(3, 1, QStringLiteral("a")), text(5, 3, QStringLiteral("b"))}, 3},
        {{text(1, 1, QStringLiteral("a")), blank(10, 1)}, 10},
        {{}, 1},
    };
    for (const Case &c : cases) {
        const auto workbook = open({{{QStringLiteral("S"), c.cells}}});
        EXPECT_EQ(workbook->usedRowCount(), c.rows) << c.cells.size() << " cells";
    }
}

TEST_P(Layout, CellsComeFromTheActiveSheetAndTheCountFromTheFirst)
{
    Book book;
    book.sheets.append(
        {QStringLiteral("第一"), {text(1, 1, QStringLiteral("first")), text(2, 1, QStringLiteral("f2"))}});
    Sheet second{QStringLiteral("第二"), {}};
    for (int row = 1; row <= 5; ++row)
        second.cells.append(text(row, 1, QStringLiteral("second %1").arg(row)));
    book.sheets.append(second);
    book.active = 1;
    const auto workbook = open(book);
    EXPECT_EQ(workbook->usedRowCount(), 2);
    EXPECT_EQ(workbook->cellText(1, 1), QStringLiteral("second 1"));
    EXPECT_EQ(workbook->cellText(5, 1), QStringLiteral("second 5"));
}

TEST_P(Layout, RowsMayBeReadAgainAndOutsideTheSheet)
{
    const auto workbook = open(customers({{QStringLiteral("a"), QStringLiteral("b")}, {}, {QStringLiteral("c"), {}}}));
    EXPECT_EQ(workbook->cellText(3, 1), QStringLiteral("c"));
    EXPECT_EQ(workbook->cellText(1, 2), QStringLiteral("b"));
    EXPECT_EQ(workbook->cellText(2, 1), QString());
    EXPECT_EQ(workbook->cellText(1, 200), QString());
    EXPECT_EQ(workbook->cellText(60000, 1), QString());
    EXPECT_EQ(workbook->cellText(3, 1), QStringLiteral("c"));
}

// Enough strings that the .xls string table runs on over many records, strings cut across them.
TEST_P(Layout, ReadsLargeSheetsToTheLastRow)
{
    QList<QPair<QString, QString>> rows;
    for (int i = 1; i <= 3000; ++i)
        rows.append({QStringLiteral("客户%1 Name").arg(i), QStringLiteral("c%1@example.com").arg(i)});
    const auto workbook = open(customers(rows));
    EXPECT_EQ(workbook->usedRowCount(), 3000);
    for (int row : {1, 1234, 3000}) {
        EXPECT_EQ(workbook->cellText(row, 1), rows.at(row - 1).first);
        EXPECT_EQ(workbook->cellText(row, 2), rows.at(row - 1).second);
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, Layout, testing::Values(Format::Xls, Format::Xlsx), formatName);

// The .xls file at `bytes` with two sectors of its Workbook stream swapped in the file and its chain
// mended, as a file saved over in place may lie: the same workbook, no longer in consecutive sectors.
QByteArray withWorkbookScattered(QByteArray bytes)
{
    constexpr qsizetype sector = 512;
    const auto at = [&](quint32 number) { return 512 + qsizetype(number) * sector; };
    const auto u32 = [&](qsizetype offset) { return qFromLittleEndian<quint32>(bytes.constData() + offset); };
    QList<quint32> fatSectors;
    for (int i = 0; i < 109 && u32(0x4C + 4 * i) < 0xFFFFFFFA; ++i)
        fatSectors.append(u32(0x4C + 4 * i));
    const auto fatEntry = [&](quint32 index) { return at(fatSectors.at(index / 128)) + 4 * (index % 128); };
    const qsizetype directory = at(u32(0x30));
    quint32 start = 0;
    for (qsizetype entry = directory; entry < directory + sector; entry += 128) {
        if (QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + entry), 8) == u"Workbook")
            start = u32(entry + 0x74);
    }
    QList<quint32> chain;
    for (quint32 s = start; s != 0xFFFFFFFE; s = u32(fatEntry(s)))
        chain.append(s);
    const qsizetype n = chain.size();
    if (n < 6)
        return {};
    const quint32 a = chain.at(1);
    const quint32 b = chain.at(n - 2);
    const QByteArray first = bytes.mid(at(a), sector);
    bytes.replace(at(a), sector, bytes.mid(at(b), sector));
    bytes.replace(at(b), sector, first);
    // The chain now runs c0, b, c2, ..., a, c(n-1).
    const auto link = [&](quint32 from, quint32 to) { qToLittleEndian<quint32>(to, bytes.data() + fatEntry(from)); };
    link(chain.at(0), b);
    link(b, chain.at(2));
    link(chain.at(n - 3), a);
    link(a, chain.at(n - 1));
    return bytes;
}

// The reader follows the stream's chain wherever its sectors lie. Enough rows for a stream of
// regular sectors and a string table running on over CONTINUE records.
TEST(XlsReader, ReadsAWorkbookWhoseSectorsLieOutOfOrder)
{
    Files files;
    QList<QPair<QString, QString>> rows;
    for (int i = 1; i <= 600; ++i)
        rows.append({QStringLiteral("客户%1").arg(i), QStringLiteral("c%1@example.com").arg(i)});
    write(customers(rows), Format::Xls, files.path(QStringLiteral("in-order.xls")));
    const QByteArray scattered = withWorkbookScattered(files.read(QStringLiteral("in-order.xls")));
    ASSERT_FALSE(scattered.isEmpty());
    ASSERT_NE(scattered, files.read(QStringLiteral("in-order.xls")));
    const auto workbook = openWorkbook(files.write(QStringLiteral("scattered.xls"), scattered));
    ASSERT_EQ(workbook->usedRowCount(), rows.size());
    for (int row = 1; row <= rows.size(); ++row) {
        ASSERT_EQ(workbook->cellText(row, 1), rows.at(row - 1).first) << row;
        ASSERT_EQ(workbook->cellText(row, 2), rows.at(row - 1).second) << row;
    }
    EXPECT_EQ(workbook->cellText(rows.size() + 1, 1), QString());
}

TEST(XlsxReader, ReadsStringsHeldInTheCells)
{
    Files files;
    Book book = customers({{QStringLiteral("李四"), QStringLiteral("li@example.com")}});
    book.inlineStrings = true;
    const QString path = write(book, Format::Xlsx, files.path(QStringLiteral("inline.xlsx")));
    ASSERT_TRUE(readPart(path, QStringLiteral("xl/worksheets/sheet1.xml")).contains("inlineStr"));
    const auto workbook = openWorkbook(path);
    EXPECT_EQ(workbook->cellText(1, 1), QStringLiteral("李四"));
    EXPECT_EQ(workbook->cellText(1, 2), QStringLiteral("li@example.com"));
}

TEST(XlsxReader, DecodesEscapedCharactersAndSkipsPhoneticGuides)
{
    Files files;
    const QString plain = write(customers({{QStringLiteral("x"), QStringLiteral("y")}}), Format::Xlsx,
                                files.path(QStringLiteral("plain.xlsx")));
    const QByteArray strings = "<?xml version=\"1.0\"?><sst xmlns=\"http://schemas.openxmlformats.org/"
                               "spreadsheetml/2006/main\"><si><r><t>王</t></r><r><t xml:space=\"preserve\">"
                               " 五_x000D_</t></r><rPh sb=\"0\" eb=\"1\"><t>wang</t></rPh></si>"
                               "<si><t>_x005F_x0041_</t></si></sst>";
    const QString path = files.path(QStringLiteral("rich.xlsx"));
    replacePart(plain, path, QStringLiteral("xl/sharedStrings.xml"), strings);
    const auto workbook = openWorkbook(path);
    EXPECT_EQ(workbook->cellText(1, 1), QStringLiteral("王 五\r"));
    EXPECT_EQ(workbook->cellText(1, 2), QStringLiteral("_x0041_"));
}

// Sheets as other writers make them: prefixed names, rows and cells without numbers, CDATA,
// comments, another encoding; and markup that is damage.
TEST(XlsxReader, ReadsSheetMarkupAsOtherWritersMakeIt)
{
    Files files;
    const QString good = write(customers({{QStringLiteral("x"), QStringLiteral("y")}}), Format::Xlsx,
                               files.path(QStringLiteral("good.xlsx")));
    const auto sheet = [](const QByteArray &data, const QByteArray &prefix = {}) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><" + prefix + "worksheet xmlns"
            + (prefix.isEmpty() ? QByteArray() : ":" + prefix.chopped(1))
            + "=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><" + prefix + "sheetData>" + data + "</"
            + prefix + "sheetData></" + prefix + "worksheet>";
    };
    QStringEncoder toUtf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    const QByteArray utf16 = toUtf16(QString::fromUtf8(sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>甲乙</t>"
                                                             "</is></c></row>")
                                                           .replace("UTF-8", "UTF-16")));

    struct Case
    {
        const char *name;
        QByteArray sheet;
        QStringList cells; // (1,1), (1,2), (2,1), (2,2); none when the sheet is damaged
        int usedRows;
    };
    const Case cases[] = {
        {"prefixed names",
         sheet("<x:row r=\"1\"><x:c r=\"B1\" t=\"inlineStr\"><x:is><x:t>甲</x:t></x:is></x:c></x:row>", "x:"),
         {{}, QStringLiteral("甲"), {}, {}},
         1},
        {"no numbers",
         sheet("<row><c t=\"inlineStr\"><is><t>a</t></is></c><c><v>2</v></c></row><row><c><v>3</v></c></row>"),
         {QStringLiteral("a"), QStringLiteral("2"), QStringLiteral("3"), {}},
         2},
        {"lower-case reference",
         sheet("<row r=\"2\"><c r=\"b2\"><v>5</v></c></row>"),
         {{}, {}, {}, QStringLiteral("5")},
         1},
        {"CDATA, entities and comments",
         sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t><![CDATA[x<y]]>&amp;z</t></is></c>"
               "<c r=\"B1\"><v>1<!-- n -->2</v></c></row>"),
         {QStringLiteral("x<y&z"), QStringLiteral("12"), {}, {}},
         1},
        {"UTF-16", utf16, {QStringLiteral("甲乙"), {}, {}, {}}, 1},
        {"an element inside a value", sheet("<row r=\"1\"><c r=\"A1\"><v>1<b/></v></c></row>"), {}, 1},
        {"a row again", sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"1\"><c r=\"A1\"/></row>"), {}, 1},
        {"not well formed", sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></row>"), {}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = files.path(QLatin1String(c.name).toString().replace(u' ', u'-') + QStringLiteral(".xlsx"));
        replacePart(good, path, QStringLiteral("xl/worksheets/sheet1.xml"), c.sheet);
        try {
            const auto workbook = openWorkbook(path);
            EXPECT_EQ(workbook->usedRowCount(), c.usedRows);
            const QStringList cells = {workbook->cellText(1, 1), workbook->cellText(1, 2), workbook->cellText(2, 1),
                                       workbook->cellText(2, 2)};
            EXPECT_EQ(cells, c.cells);
        } catch (const SpreadsheetError &e) {
            EXPECT_TRUE(c.cells.isEmpty()) << e.message().toStdString();
            EXPECT_EQ(e.message(), QStringLiteral("文件“%1”已损坏，无法读取").arg(QDir::toNativeSeparators(path)));
        }
    }
}

// ---- files that are no readable workbook

TEST(BadFiles, GiveAClearErrorAndNoCrash)
{
    Files files;
    const QString good = write(customers({{QStringLiteral("a"), QStringLiteral("b")}}), Format::Xlsx,
                               files.path(QStringLiteral("good.xlsx")));
    const QByteArray xlsx = files.read(QStringLiteral("good.xlsx"));
    const QString goodXls = write(customers({{QStringLiteral("a"), QStringLiteral("b")}}), Format::Xls,
                                  files.path(QStringLiteral("good.xls")));
    const QByteArray xls = files.read(QStringLiteral("good.xls"));
    QByteArray noise(4096, '\0');
    QRandomGenerator random(6);
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    const QByteArray workbookHead = QByteArray::fromHex("0908100000060500000000000000000000000000");
    const QByteArray filePass = QByteArray::fromHex("2f000600010001000100") + QByteArray::fromHex("0a000000");

    struct Case
    {
        const char *name;
        QString path;
        QString error;
    };
    const auto at = [&](const char *name) { return QDir::toNativeSeparators(files.path(QLatin1String(name))); };
    const Case cases[] = {
        {"missing", files.path(QStringLiteral("missing.xls")),
         QStringLiteral("无法打开文件“%1”").arg(at("missing.xls"))},
        {"empty", files.write(QStringLiteral("empty.xlsx"), {}),
         QStringLiteral("文件“%1”不是Excel工作簿").arg(at("empty.xlsx"))},
        {"random bytes", files.write(QStringLiteral("noise.xls"), noise),
         QStringLiteral("文件“%1”不是Excel工作簿").arg(at("noise.xls"))},
        {"text", files.write(QStringLiteral("list.xls"), "张三\tzs@example.com\n"),
         QStringLiteral("文件“%1”不是Excel工作簿").arg(at("list.xls"))},
        {"truncated xlsx", files.write(QStringLiteral("cut.xlsx"), xlsx.left(xlsx.size() / 2)),
         QStringLiteral("文件“%1”已损坏，无法读取").arg(at("cut.xlsx"))},
        {"truncated xls", files.write(QStringLiteral("cut.xls"), xls.left(xls.size() / 2)),
         QStringLiteral("文件“%1”已损坏，无法读取").arg(at("cut.xls"))},
        {"other zip", files.write(QStringLiteral("other.xlsx"), readPart(good, QStringLiteral("[Content_Types].xml"))),
         QStringLiteral("文件“%1”不是Excel工作簿").arg(at("other.xlsx"))},
        {"encrypted xlsx",
         files.write(
             QStringLiteral("secret.xlsx"),
             compoundFile({{QStringLiteral("EncryptionInfo"), noise}, {QStringLiteral("EncryptedPackage"), noise}})),
         QStringLiteral("文件“%1”有密码保护，请先在Excel中取消密码").arg(at("secret.xlsx"))},
        {"encrypted xls",
         files.write(QStringLiteral("secret.xls"),
                     compoundFile({{QStringLiteral("Workbook"), workbookHead + filePass}})),
         QStringLiteral("文件“%1”有密码保护，请先在Excel中取消密码").arg(at("secret.xls"))},
        {"compound file without workbook",
         files.write(QStringLiteral("doc.xls"), compoundFile({{QStringLiteral("WordDocument"), noise}})),
         QStringLiteral("文件“%1”不是Excel工作簿").arg(at("doc.xls"))},
        {"broken workbook stream",
         files.write(QStringLiteral("broken.xls"), compoundFile({{QStringLiteral("Workbook"), noise}})),
         QStringLiteral("文件“%1”已损坏，无法读取").arg(at("broken.xls"))},
    };
    for (const Case &c : cases)
        EXPECT_EQ(errorOpening(c.path), c.error) << c.name;
}

TEST(BadFiles, ZipWithoutAWorkbookIsNoWorkbook)
{
    Files files;
    const QString good
        = write(customers({{QStringLiteral("a"), {}}}), Format::Xlsx, files.path(QStringLiteral("g.xlsx")));
    const QString path = files.path(QStringLiteral("doc.xlsx"));
    replacePart(good, path, QStringLiteral("_rels/.rels"),
                "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                "relationships/officeDocument\" Target=\"[Content_Types].xml\"/></Relationships>");
    EXPECT_EQ(errorOpening(path), QStringLiteral("文件“%1”不是Excel工作簿").arg(QDir::toNativeSeparators(path)));
}

TEST(BadFiles, AStringIndexOutsideTheTableIsDamage)
{
    Files files;
    const QString good
        = write(customers({{QStringLiteral("a"), {}}}), Format::Xlsx, files.path(QStringLiteral("g.xlsx")));
    const QString path = files.path(QStringLiteral("bad.xlsx"));
    QByteArray sheet = readPart(good, QStringLiteral("xl/worksheets/sheet1.xml"));
    sheet.replace("<v>0</v>", "<v>7</v>");
    replacePart(good, path, QStringLiteral("xl/worksheets/sheet1.xml"), sheet);
    const auto workbook = openWorkbook(path);
    EXPECT_THROW(workbook->cellText(1, 1), SpreadsheetError);
}

// Distinct attributes a1="1" a2="1" ..., each with a blank before it.
QByteArray manyAttributes(int count)
{
    QByteArray attributes;
    for (int i = 1; i <= count; ++i)
        attributes += " a" + QByteArray::number(i) + "=\"1\"";
    return attributes;
}

// Small files that expand into endless text or countless strings are refused as damaged, before
// the reader holds more than a bounded amount of them.
TEST(BadFiles, ExpandingTextsAreRefusedAsDamage)
{
    Files files;
    const QString good
        = write(customers({{QStringLiteral("a"), {}}}), Format::Xlsx, files.path(QStringLiteral("g.xlsx")));
    const QByteArray strings = readPart(good, QStringLiteral("xl/sharedStrings.xml"));
    const QByteArray sheet = readPart(good, QStringLiteral("xl/worksheets/sheet1.xml"));
    const qsizetype tableStart = strings.indexOf("<si>");
    const qsizetype tableEnd = strings.lastIndexOf("</sst>");
    const qsizetype cellsStart = sheet.indexOf("<c ");
    const qsizetype rowEnd = sheet.indexOf("</row>");
    ASSERT_TRUE(tableStart > 0 && tableEnd > tableStart && cellsStart > 0 && rowEnd > cellsStart);
    // The string table with other entries, and the first row with other cells.
    const auto table
        = [&](const QByteArray &entries) { return strings.left(tableStart) + entries + strings.mid(tableEnd); };
    const auto firstRow = [&](const QByteArray &cells) { return sheet.left(cellsStart) + cells + sheet.mid(rowEnd); };

    struct Case
    {
        const char *name;
        QString part;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"one endless string", QStringLiteral("xl/sharedStrings.xml"),
         table("<si><t>" + QByteArray(3 * 1024 * 1024, 'a') + "</t></si>")},
        {"a string longer than a cell", QStringLiteral("xl/sharedStrings.xml"),
         table("<si><t>" + QByteArray(32768, 'a') + "</t></si>")},
        {"a string of countless runs", QStringLiteral("xl/sharedStrings.xml"),
         table("<si>" + QByteArray("<r><t>aaaaaaaaaaaaaaaa</t></r>").repeated(20000) + "</si>")},
        {"a table larger than memory allows", QStringLiteral("xl/sharedStrings.xml"),
         table(("<si><t>" + QByteArray(32000, 'a') + "</t></si>").repeated(4200))},
        {"a cell longer than a cell may be", QStringLiteral("xl/worksheets/sheet1.xml"),
         firstRow("<c r=\"A1\" t=\"inlineStr\"><is><t>" + QByteArray(32768, 'a') + "</t></is></c>")},
        {"a row of more cells than columns", QStringLiteral("xl/worksheets/sheet1.xml"),
         firstRow(QByteArray("<c r=\"A1\"><v>1</v></c>").repeated(16385))},
        // A ">" may stand in an attribute value, so the values below are no text run.
        {"an endless attribute value", QStringLiteral("xl/worksheets/sheet1.xml"),
         firstRow("<c r=\"A1\" x=\"" + QByteArray(1023, 'a').append('>').repeated(3 * 1024) + "\"><v>1</v></c>")},
        {"an attribute value longer than a text may be", QStringLiteral("xl/worksheets/sheet1.xml"),
         firstRow("<c r=\"A1\" x=\"" + QByteArray(1023, 'a').append('>').repeated(1024) + "a\"><v>1</v></c>")},
        {"an endless attribute value in the string table", QStringLiteral("xl/sharedStrings.xml"),
         table("<si x=\"" + QByteArray(1023, 'a').append('>').repeated(3 * 1024) + "\"><t>a</t></si>")},
        {"an element of more attributes than any workbook writes", QStringLiteral("xl/worksheets/sheet1.xml"),
         firstRow("<c r=\"A1\"" + manyAttributes(1001) + "><v>1</v></c>")},
    };
    for (const Case &c : cases) {
        const QString path = files.path(QLatin1String(c.name).toString().replace(u' ', u'-') + QStringLiteral(".xlsx"));
        replacePart(good, path, c.part, c.bytes);
        const QString damaged = QStringLiteral("文件“%1”已损坏，无法读取").arg(QDir::toNativeSeparators(path));
        try {
            const auto workbook = openWorkbook(path);
            workbook->cellText(1, 1);
            ADD_FAILURE() << c.name << ": read without an error";
        } catch (const SpreadsheetError &e) {
            EXPECT_EQ(e.message(), damaged) << c.name;
        }
    }
}

// Inputs the fuzzer found troublesome: each must open cleanly or fail with an error.
TEST(BadFiles, FuzzerFindingsFailCleanly)
{
    const QDir dir(testsupport::sourcePath(QStringLiteral("tests/spreadsheet/fixtures/fuzz")));
    for (const QString &name : dir.entryList(QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        errorOpening(dir.filePath(name));
    }
}

} // namespace
