#include "XlsxWorkbook.h"

#include "MarkupBoundDevice.h"

#include <QDir>
#include <QRegularExpression>

#include <climits>
#include <optional>

namespace {

// Parts are matched by the local names of their elements alone, so every reader leaves namespaces
// unresolved, which makes it markedly faster.

// A part larger than this is no workbook part but a zip bomb; sheets and shared strings are
// streamed, their texts bounded one by one and the shared-string table as a whole.
constexpr qint64 maxPartSize = 64 * 1024 * 1024;
// A worksheet's rows and columns; a row numbered beyond, or a row with more cells, is damage.
constexpr int maxRows = 1048576;
constexpr int maxColumns = 16384;
// The longest text a cell holds, as the spreadsheet programs allow.
constexpr qsizetype maxCellText = 32767;
// What the shared-string table may take in memory: its texts, and a little for each entry, so a
// table of countless empty strings is refused too.
constexpr qint64 maxSharedStringBytes = 256 * 1024 * 1024;
constexpr qint64 sharedStringOverhead = 32;

struct Relationship
{
    QString id;
    QString type;
    QString target;
};

QString folderOf(const QString &part)
{
    return part.left(part.lastIndexOf(u'/') + 1);
}

QString relationshipsPartOf(const QString &part)
{
    return folderOf(part) + QStringLiteral("_rels/") + part.mid(part.lastIndexOf(u'/') + 1) + QStringLiteral(".rels");
}

// A relationship's target as a part name: absolute ("/xl/worksheets/sheet1.xml") or relative to
// the folder of the part it belongs to.
QString resolve(const QString &folder, const QString &target)
{
    if (target.startsWith(u'/'))
        return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(folder + target);
}

bool typeIs(const QString &type, QStringView kind)
{
    return type.endsWith(u'/' + kind.toString());
}

// "The text of a string item": plain <t>, or the <t> of each rich-text run, leaving out phonetic
// guides. Characters XML cannot carry come escaped as _xHHHH_. None when the text is longer than
// a cell can hold.
std::optional<QString> readRichText(QXmlStreamReader &xml)
{
    // An escape takes seven characters for one; the decoded text is measured at the end.
    constexpr qsizetype maxRawText = maxCellText * 7;
    QString text;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"t") {
            text += xml.readElementText();
        } else if (xml.name() == u"r") {
            while (xml.readNextStartElement()) {
                if (xml.name() == u"t")
                    text += xml.readElementText();
                else
                    xml.skipCurrentElement();
                if (text.size() > maxRawText)
                    return std::nullopt;
            }
        } else {
            xml.skipCurrentElement();
        }
        if (text.size() > maxRawText)
            return std::nullopt;
    }
    if (!text.contains(u"_x"))
        return text.size() > maxCellText ? std::nullopt : std::optional(text);
    static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString decoded;
    qsizetype done = 0;
    for (auto it = escape.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        decoded += QStringView(text).mid(done, match.capturedStart() - done);
        decoded += QChar(match.capturedView(1).toUShort(nullptr, 16));
        done = match.capturedEnd();
    }
    decoded += QStringView(text).mid(done);
    return decoded.size() > maxCellText ? std::nullopt : std::optional(decoded);
}

// The column of a cell reference such as "AB12" (28), or 0 when it is no reference.
int columnOf(QStringView reference)
{
    int column = 0;
    qsizetype i = 0;
    for (; i < reference.size() && i < 3 && reference.at(i).isLetter(); ++i) {
        const char16_t c = reference.at(i).toUpper().unicode();
        if (c < u'A' || c > u'Z')
            return 0;
        column = column * 26 + (c - u'A' + 1);
    }
    return i > 0 && i < reference.size() && reference.at(i).isDigit() ? column : 0;
}

QString attribute(const QXmlStreamReader &xml, const char *name)
{
    return xml.attributes().value(QLatin1String(name)).toString();
}

// The relationship id of a <sheet>: its "id" attribute in a namespace, whatever the prefix.
QString relationshipId(const QXmlStreamReader &xml)
{
    for (const QXmlStreamAttribute &a : xml.attributes()) {
        if (a.name() == u"id" && a.qualifiedName() != a.name())
            return a.value().toString();
    }
    return {};
}

} // namespace

XlsxWorkbook::XlsxWorkbook(const QString &path)
    : m_path(path)
    , m_zip(path)
{
    if (!m_zip.open(QuaZip::mdUnzip))
        fail();

    const auto relationships = [this](const QString &relationshipsPart, const QString &folder) {
        QList<Relationship> list;
        const QByteArray bytes = readPart(relationshipsPart);
        QXmlStreamReader xml(bytes);
        xml.setNamespaceProcessing(false);
        while (!xml.atEnd() && !xml.hasError()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"Relationship"
                && attribute(xml, "TargetMode") != u"External")
                list.append({attribute(xml, "Id"), attribute(xml, "Type"), resolve(folder, attribute(xml, "Target"))});
        }
        if (xml.hasError())
            fail();
        return list;
    };

    // The package names its main document; a zip that is no workbook names none, or another kind.
    if (!m_zip.setCurrentFile(QStringLiteral("_rels/.rels"), QuaZip::csInsensitive))
        throw SpreadsheetError::notAWorkbook(path);
    QString workbookPart;
    for (const Relationship &r : relationships(QStringLiteral("_rels/.rels"), QString())) {
        if (typeIs(r.type, u"officeDocument"))
            workbookPart = r.target;
    }
    if (workbookPart.isEmpty() || !m_zip.setCurrentFile(workbookPart, QuaZip::csInsensitive))
        throw SpreadsheetError::notAWorkbook(path);

    const QByteArray workbook = readPart(workbookPart);
    QXmlStreamReader xml(workbook);
    xml.setNamespaceProcessing(false);
    if (!xml.readNextStartElement() || xml.name() != u"workbook")
        throw SpreadsheetError::notAWorkbook(path);
    int activeTab = -1;
    QStringList sheetIds;
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"workbookPr") {
            const QString date1904 = attribute(xml, "date1904");
            m_date1904 = date1904 == u"1" || date1904 == u"true";
        } else if (xml.name() == u"workbookView" && activeTab < 0) {
            activeTab = qMax(attribute(xml, "activeTab").toInt(), 0);
        } else if (xml.name() == u"sheet") {
            sheetIds.append(relationshipId(xml));
        }
    }
    if (xml.hasError())
        fail();

    QString firstWorksheet;
    QString stylesPart;
    QString sharedStringsPart;
    QList<Relationship> sheets(sheetIds.size());
    for (const Relationship &r : relationships(relationshipsPartOf(workbookPart), folderOf(workbookPart))) {
        if (typeIs(r.type, u"styles"))
            stylesPart = r.target;
        else if (typeIs(r.type, u"sharedStrings"))
            sharedStringsPart = r.target;
        const qsizetype tab = sheetIds.indexOf(r.id);
        if (tab >= 0)
            sheets[tab] = r;
    }
    for (const Relationship &sheet : sheets) {
        if (typeIs(sheet.type, u"worksheet")) {
            firstWorksheet = sheet.target;
            break;
        }
    }
    if (firstWorksheet.isEmpty())
        fail();
    const Relationship &active = sheets.at(activeTab < sheets.size() ? qMax(activeTab, 0) : 0);
    if (!typeIs(active.type, u"worksheet"))
        throw SpreadsheetError::activeSheetIsNoWorksheet(path);
    m_activeSheet = active.target;

    if (!stylesPart.isEmpty())
        readStyles(stylesPart);
    if (!sharedStringsPart.isEmpty())
        readSharedStrings(sharedStringsPart);
    m_usedRowCount = usedRowCount(firstWorksheet);
}

XlsxWorkbook::~XlsxWorkbook()
{
    close();
}

std::unique_ptr<QuaZipFile> XlsxWorkbook::openPart(const QString &name)
{
    if (!m_zip.isOpen() || !m_zip.setCurrentFile(name, QuaZip::csInsensitive))
        fail();
    auto file = std::make_unique<QuaZipFile>(&m_zip);
    if (!file->open(QIODevice::ReadOnly))
        fail();
    return file;
}

std::unique_ptr<QIODevice> XlsxWorkbook::openXmlPart(const QString &name)
{
    return std::make_unique<MarkupBoundDevice>(openPart(name));
}

QByteArray XlsxWorkbook::readPart(const QString &name)
{
    const auto file = openPart(name);
    QByteArray bytes;
    while (!file->atEnd() && bytes.size() <= maxPartSize) {
        const QByteArray chunk = file->read(64 * 1024);
        if (chunk.isEmpty())
            break;
        bytes += chunk;
    }
    if (bytes.size() > maxPartSize || file->getZipError() != UNZ_OK)
        fail();
    return bytes;
}

void XlsxWorkbook::readStyles(const QString &part)
{
    const QByteArray bytes = readPart(part);
    QXmlStreamReader xml(bytes);
    xml.setNamespaceProcessing(false);
    QHash<int, QString> formatCodes;
    bool inCellFormats = false;
    while (!xml.atEnd() && !xml.hasError()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == u"cellXfs") {
            inCellFormats = false;
        } else if (token != QXmlStreamReader::StartElement) {
            continue;
        } else if (xml.name() == u"numFmt") {
            formatCodes.insert(attribute(xml, "numFmtId").toInt(), attribute(xml, "formatCode"));
        } else if (xml.name() == u"cellXfs") {
            inCellFormats = true;
        } else if (xml.name() == u"xf" && inCellFormats) {
            const int id = attribute(xml, "numFmtId").toInt();
            m_styleKinds.append(celltext::dateKindOfFormat(id, formatCodes.value(id)));
        }
    }
    if (xml.hasError())
        fail();
}

void XlsxWorkbook::readSharedStrings(const QString &part)
{
    const auto file = openXmlPart(part);
    QXmlStreamReader xml(file.get());
    xml.setNamespaceProcessing(false);
    qint64 bytes = 0;
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"si")
            continue;
        std::optional<QString> text = readRichText(xml);
        if (!text)
            fail();
        bytes += sharedStringOverhead + text->size() * qint64(sizeof(QChar));
        if (bytes > maxSharedStringBytes)
            fail();
        m_sharedStrings.append(std::move(*text));
    }
    if (xml.hasError())
        fail();
}

// From the first row holding a cell to the last; a cell that only carries a format counts, as it
// does for Excel. The <dimension> a writer records is not trusted: some leave it stale.
int XlsxWorkbook::usedRowCount(const QString &part)
{
    const auto file = openXmlPart(part);
    QXmlStreamReader xml(file.get());
    xml.setNamespaceProcessing(false);
    int row = 0;
    int first = 0;
    int last = 0;
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"row") {
            const QString number = attribute(xml, "r");
            bool ok = true;
            row = number.isEmpty() ? row + 1 : number.toInt(&ok);
            if (!ok || row < 1 || row > maxRows)
                fail();
        } else if (xml.name() == u"c") {
            if (first == 0)
                first = row;
            last = row;
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError())
        fail();
    return first > 0 ? last - first + 1 : 1;
}

QString XlsxWorkbook::cellText(int row, int column)
{
    if (row < 1 || column < 1)
        return {};
    if (!m_sheetFile || row <= m_previousRow)
        startActiveSheet();
    while (m_rowNumber < row)
        readRow();
    if (m_rowNumber != row)
        return {};
    for (const Cell &cell : std::as_const(m_cells)) {
        if (cell.column == column)
            return text(cell);
    }
    return {};
}

void XlsxWorkbook::close()
{
    m_sheet.clear();
    m_sheetFile.reset();
    m_zip.close();
}

void XlsxWorkbook::startActiveSheet()
{
    m_sheet.clear();
    m_sheetFile.reset();
    m_sheetFile = openXmlPart(m_activeSheet);
    m_sheet.setNamespaceProcessing(false);
    m_sheet.setDevice(m_sheetFile.get());
    m_rowNumber = 0;
    m_previousRow = 0;
    m_cells.clear();
}

// Moves to the next <row> and keeps its cells; after the last row every row counts as empty.
void XlsxWorkbook::readRow()
{
    m_previousRow = m_rowNumber;
    m_cells.clear();
    while (!m_sheet.atEnd() && !m_sheet.hasError()) {
        if (m_sheet.readNext() != QXmlStreamReader::StartElement || m_sheet.name() != u"row")
            continue;
        const QString number = attribute(m_sheet, "r");
        bool ok = true;
        const int row = number.isEmpty() ? m_previousRow + 1 : number.toInt(&ok);
        // Rows come in order; the reading relies on it, and Excel refuses a sheet without it.
        if (!ok || row <= m_previousRow || row > maxRows)
            fail();
        m_rowNumber = row;
        int column = 0;
        while (m_sheet.readNextStartElement()) {
            if (m_sheet.name() == u"c")
                readCell(column);
            else
                m_sheet.skipCurrentElement();
        }
        if (m_sheet.hasError())
            fail();
        return;
    }
    if (m_sheet.hasError())
        fail();
    m_rowNumber = INT_MAX;
}

void XlsxWorkbook::readCell(int &column)
{
    const QString reference = attribute(m_sheet, "r");
    column = reference.isEmpty() ? column + 1 : columnOf(reference);
    if (column == 0 || column > maxColumns || m_cells.size() >= maxColumns)
        fail();
    const QString type = attribute(m_sheet, "t");
    Cell cell{column,
              type.isEmpty() || type == u"n" ? CellType::Number
                  : type == u"s"             ? CellType::SharedString
                  : type == u"b"             ? CellType::Boolean
                                             : CellType::Text,
              attribute(m_sheet, "s").toInt(), QString()};
    while (m_sheet.readNextStartElement()) {
        if (m_sheet.name() == u"v") {
            cell.value = m_sheet.readElementText();
        } else if (m_sheet.name() == u"is") {
            std::optional<QString> text = readRichText(m_sheet);
            if (!text)
                fail();
            cell.value = std::move(*text);
        } else {
            m_sheet.skipCurrentElement();
        }
    }
    if (cell.value.size() > maxCellText)
        fail();
    m_cells.append(std::move(cell));
}

QString XlsxWorkbook::text(const Cell &cell) const
{
    if (cell.value.isEmpty())
        return {};
    bool ok = true;
    switch (cell.type) {
    case CellType::Text: return cell.value;
    case CellType::Boolean:
        return cell.value == u"0" || cell.value == u"false" ? QStringLiteral("FALSE") : QStringLiteral("TRUE");
    case CellType::SharedString: {
        const int index = cell.value.toInt(&ok);
        if (!ok || index < 0 || index >= m_sharedStrings.size())
            fail();
        return m_sharedStrings.at(index);
    }
    case CellType::Number: {
        const double number = cell.value.toDouble(&ok);
        if (!ok)
            fail();
        const auto kind = cell.style >= 0 && cell.style < m_styleKinds.size() ? m_styleKinds.at(cell.style)
                                                                              : celltext::DateKind::None;
        return kind == celltext::DateKind::None ? celltext::numberText(number)
                                                : celltext::serialDateText(number, kind, m_date1904);
    }
    }
    return {};
}

void XlsxWorkbook::fail() const
{
    throw SpreadsheetError::damaged(m_path);
}
