#include "XlsxWorkbook.h"

#include "MarkupBoundDevice.h"
#include "XmlPushReader.h"

#include <QDir>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <climits>
#include <deque>
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

// Characters XML cannot carry come escaped as _xHHHH_. None when the text is longer than a cell
// can hold.
std::optional<QString> decodedText(const QString &text)
{
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

// "The text of a string item" (<si>, or a cell's <is>), fed the elements inside the item: plain
// <t>, or the <t> of each rich-text run, leaving out phonetic guides and anything else. An element
// inside a <t> is damage.
class RichText
{
public:
    // False when the item is damaged.
    bool start(std::string_view name)
    {
        if (m_collecting)
            return false;
        if (m_skipping > 0)
            ++m_skipping;
        else if (name == "t")
            m_collecting = true;
        else if (name == "r" && !m_inRun)
            m_inRun = true;
        else
            m_skipping = 1;
        return true;
    }

    // True when the end is the item's own.
    bool end()
    {
        if (m_collecting)
            m_collecting = false;
        else if (m_skipping > 0)
            --m_skipping;
        else if (m_inRun)
            m_inRun = false;
        else
            return true;
        return false;
    }

    // False when the text already holds more than a cell can, however it decodes: every
    // character is at most three bytes here, and an escape of seven characters decodes to one.
    bool characters(std::string_view text)
    {
        if (m_collecting)
            m_bytes.append(text.data(), qsizetype(text.size()));
        return m_bytes.size() <= 3 * 7 * maxCellText;
    }

    std::optional<QString> text() const { return decodedText(QString::fromUtf8(m_bytes)); }

private:
    bool m_inRun = false;
    bool m_collecting = false;
    int m_skipping = 0;
    QByteArray m_bytes;
};

// A row or style number as QString::toInt reads it: digits alone are read here, anything else as
// the text it is.
int numberOf(const char *value, bool *ok)
{
    int number = 0;
    int digits = 0;
    for (const char *c = value; *c; ++c, ++digits) {
        if (*c < '0' || *c > '9' || digits == 9)
            return QString::fromUtf8(value).toInt(ok);
        number = number * 10 + (*c - '0');
    }
    if (digits == 0)
        return QString().toInt(ok);
    if (ok)
        *ok = true;
    return number;
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

// The same for the reference as expat gives it.
int columnOf(const char *reference)
{
    int column = 0;
    int i = 0;
    for (; i < 3 && ((reference[i] >= 'A' && reference[i] <= 'Z') || (reference[i] >= 'a' && reference[i] <= 'z')); ++i)
        column = column * 26 + ((reference[i] & ~0x20) - 'A' + 1);
    if (reference[i] >= '0' && reference[i] <= '9')
        return i > 0 ? column : 0;
    // Letters and digits beyond ASCII, or too many letters: as the text it is.
    return columnOf(QStringView(QString::fromUtf8(reference)));
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

// The shared-string table: the text of every <si>, bounded one by one and as a whole.
class SharedStringsReader final : public XmlPushReader
{
public:
    explicit SharedStringsReader(SharedStringTable &strings)
        : m_strings(strings)
    {
    }

private:
    void startElement(std::string_view name, const char **) override
    {
        if (m_item) {
            if (!m_item->start(name))
                refuse();
        } else if (name == "si") {
            m_item.emplace();
        }
    }

    void endElement() override
    {
        if (!m_item || !m_item->end())
            return;
        std::optional<QString> text = m_item->text();
        m_item.reset();
        if (!text) {
            refuse();
            return;
        }
        m_bytes += sharedStringOverhead + text->size() * qint64(sizeof(QChar));
        if (m_bytes > maxSharedStringBytes) {
            refuse();
            return;
        }
        m_strings.append(*text);
    }

    void characters(std::string_view text) override
    {
        if (m_item && !m_item->characters(text))
            refuse();
    }

    SharedStringTable &m_strings;
    std::optional<RichText> m_item;
    qint64 m_bytes = 0;
};

// From the first row holding a cell to the last; a cell that only carries a format counts, as it
// does for Excel. The <dimension> a writer records is not trusted: some leave it stale.
class UsedRangeReader final : public XmlPushReader
{
public:
    UsedRangeReader() { skipTexts(); }

    int rowCount() const { return m_first > 0 ? m_last - m_first + 1 : 1; }

private:
    void startElement(std::string_view name, const char **attributes) override
    {
        if (m_inCell > 0) {
            ++m_inCell;
        } else if (name == "row") {
            const char *number = attribute(attributes, "r");
            bool ok = true;
            m_row = !number || !*number ? m_row + 1 : numberOf(number, &ok);
            if (!ok || m_row < 1 || m_row > maxRows)
                refuse();
        } else if (name == "c") {
            if (m_first == 0)
                m_first = m_row;
            m_last = m_row;
            m_inCell = 1;
        }
    }

    void endElement() override
    {
        if (m_inCell > 0)
            --m_inCell;
    }

    void characters(std::string_view) override { }

    int m_row = 0;
    int m_first = 0;
    int m_last = 0;
    int m_inCell = 0; // depth inside a <c>, whose content is not looked at
};

} // namespace

// The rows of the active sheet, in order, as the part is fed: each <row> with its <c> cells. Rows
// come in order; the reading relies on it, and Excel refuses a sheet without it. A row is kept
// only once it is complete, so the rows before a damaged one are still read.
class XlsxWorkbook::RowReader final : public XmlPushReader
{
public:
    std::deque<Row> rows;

private:
    void startElement(std::string_view name, const char **attributes) override
    {
        if (!m_inRow) {
            if (name == "row")
                startRow(attributes);
        } else if (m_skipping > 0) {
            ++m_skipping;
        } else if (!m_inCell) {
            if (name == "c")
                startCell(attributes);
            else
                m_skipping = 1;
        } else if (m_inValue) {
            refuse(); // an element inside <v>: no value
        } else if (m_text) {
            if (!m_text->start(name))
                refuse();
        } else if (name == "v") {
            m_inValue = true;
            m_value.truncate(0); // keeps its capacity for the next value
        } else if (name == "is") {
            m_text.emplace();
        } else {
            m_skipping = 1;
        }
    }

    void endElement() override
    {
        if (!m_inRow)
            return;
        if (m_skipping > 0) {
            --m_skipping;
        } else if (!m_inCell) {
            rows.push_back(std::move(m_row));
            m_row = {};
            m_inRow = false;
        } else if (m_inValue) {
            m_inValue = false;
            m_cell.value = QString::fromUtf8(m_value);
        } else if (m_text) {
            if (!m_text->end())
                return;
            std::optional<QString> text = m_text->text();
            m_text.reset();
            if (!text)
                refuse();
            else
                m_cell.value = std::move(*text);
        } else {
            m_inCell = false;
            if (m_cell.value.size() > maxCellText)
                refuse();
            else
                m_row.cells.append(std::move(m_cell));
        }
    }

    void characters(std::string_view text) override
    {
        if (m_inValue) {
            m_value.append(text.data(), qsizetype(text.size()));
            // Beyond this, the value holds more characters than a cell can, whatever they are.
            if (m_value.size() > 3 * maxCellText)
                refuse();
        } else if (m_text && !m_text->characters(text)) {
            refuse();
        }
    }

    void startRow(const char **attributes)
    {
        const char *number = attribute(attributes, "r");
        bool ok = true;
        const int row = !number || !*number ? m_lastRow + 1 : numberOf(number, &ok);
        if (!ok || row <= m_lastRow || row > maxRows) {
            refuse();
            return;
        }
        m_lastRow = row;
        m_row = {row, {}};
        m_inRow = true;
        m_column = 0;
    }

    void startCell(const char **attributes)
    {
        const char *reference = attribute(attributes, "r");
        m_column = !reference || !*reference ? m_column + 1 : columnOf(reference);
        if (m_column == 0 || m_column > maxColumns || m_row.cells.size() >= maxColumns) {
            refuse();
            return;
        }
        const char *type = attribute(attributes, "t");
        const std::string_view t = type ? type : "";
        const char *style = attribute(attributes, "s");
        m_cell = {m_column,
                  t.empty() || t == "n" ? CellType::Number
                      : t == "s"        ? CellType::SharedString
                      : t == "b"        ? CellType::Boolean
                                        : CellType::Text,
                  style ? numberOf(style, nullptr) : 0, QString()};
        m_inCell = true;
    }

    bool m_inRow = false;
    bool m_inCell = false;
    bool m_inValue = false;
    int m_skipping = 0; // depth inside an element of the row or the cell that is not looked at
    int m_lastRow = 0;
    int m_column = 0;
    Row m_row;
    Cell m_cell;
    QByteArray m_value;
    std::optional<RichText> m_text;
};

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
    SharedStringsReader strings(m_sharedStrings);
    strings.feedAll(*file);
    if (!strings.ended())
        fail();
}

int XlsxWorkbook::usedRowCount(const QString &part)
{
    const auto file = openXmlPart(part);
    UsedRangeReader range;
    range.feedAll(*file);
    if (!range.ended())
        fail();
    return range.rowCount();
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
    for (const Cell &cell : std::as_const(m_row.cells)) {
        if (cell.column == column)
            return text(cell);
    }
    return {};
}

void XlsxWorkbook::close()
{
    m_rows.reset();
    m_sheetFile.reset();
    m_zip.close();
}

void XlsxWorkbook::startActiveSheet()
{
    m_rows.reset();
    m_sheetFile.reset();
    m_sheetFile = openXmlPart(m_activeSheet);
    m_rows = std::make_unique<RowReader>();
    m_rowNumber = 0;
    m_previousRow = 0;
    m_row = {};
}

// Moves to the next row and keeps its cells; after the last row every row counts as empty.
void XlsxWorkbook::readRow()
{
    m_previousRow = m_rowNumber;
    m_row = {};
    while (m_rows->rows.empty() && m_rows->feed(*m_sheetFile)) { }
    if (!m_rows->rows.empty()) {
        m_row = std::move(m_rows->rows.front());
        m_rows->rows.pop_front();
        m_rowNumber = m_row.number;
        return;
    }
    if (m_rows->failed())
        fail();
    m_rowNumber = INT_MAX;
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
