#include "XlsWorkbook.h"

#include "CellText.h"
#include "CompoundFile.h"

#include <QFile>
#include <QtEndian>

#include <optional>

#include <freexl.h>

namespace {

// The workbook globals' records this reader needs.
constexpr quint16 recordEof = 0x000A;
constexpr quint16 recordFilePass = 0x002F;
constexpr quint16 recordWindow1 = 0x003D;
constexpr quint16 recordBoundSheet = 0x0085;
constexpr quint8 sheetTypeWorksheet = 0;

struct Globals
{
    bool encrypted = false;
    int activeTab = 0;
    QList<quint8> sheetTypes; // one per sheet tab, in tab order
};

Globals readGlobals(const QByteArray &stream)
{
    Globals globals;
    bool window1Seen = false;
    const char *data = stream.constData();
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        const quint16 type = qFromLittleEndian<quint16>(data + at);
        const quint16 length = qFromLittleEndian<quint16>(data + at + 2);
        const char *body = data + at + 4;
        at += 4 + length;
        if (at > stream.size() || type == recordEof)
            break;
        if (type == recordFilePass) {
            globals.encrypted = true;
        } else if (type == recordWindow1 && length >= 12 && !window1Seen) {
            globals.activeTab = qFromLittleEndian<quint16>(body + 10);
            window1Seen = true;
        } else if (type == recordBoundSheet && length >= 6) {
            globals.sheetTypes.append(quint8(body[5]));
        }
    }
    return globals;
}

// FreeXL takes the sizes written inside records on trust: a string longer than its record, a string
// table counting more strings than it holds, or a sheet claiming more cells than a sheet can have
// make it read or allocate far past what the file holds. The records it reads such sizes from are
// checked here before FreeXL sees the file.
class RecordCheck
{
public:
    explicit RecordCheck(const QByteArray &stream)
    {
        const char *data = stream.constData();
        for (qsizetype at = 0; at + 4 <= stream.size();) {
            const quint16 length = qFromLittleEndian<quint16>(data + at + 2);
            if (at + 4 + length > stream.size())
                return; // FreeXL reads no further than the stream
            m_records.append({qFromLittleEndian<quint16>(data + at), QByteArrayView(data + at + 4, length)});
            at += 4 + length;
        }
    }

    bool sound() const
    {
        if (m_records.isEmpty() || m_records.first().type != recordBof || m_records.first().body.size() < 2)
            return false;
        const bool biff8 = qFromLittleEndian<quint16>(m_records.first().body.data()) == 0x0600;
        for (qsizetype i = 0; i < m_records.size(); ++i) {
            const QByteArrayView body = m_records.at(i).body;
            bool fits = true;
            switch (m_records.at(i).type) {
            case recordFormat: fits = biff8 ? unicodeStringFits(body, 2, 2) : byteStringFits(body, 2, 1); break;
            case recordLabel:
            case recordRString: fits = biff8 ? unicodeStringFits(body, 6, 2) : byteStringFits(body, 6, 2); break;
            case recordBoundSheet: fits = biff8 ? unicodeStringFits(body, 6, 1) : byteStringFits(body, 6, 1); break;
            case recordDimension:
                fits = body.size() >= (biff8 ? 14 : 10)
                    && (biff8 ? qFromLittleEndian<quint32>(body.data() + 4)
                              : quint32(qFromLittleEndian<quint16>(body.data() + 2)))
                        <= 65536
                    && qFromLittleEndian<quint16>(body.data() + (biff8 ? 10 : 6)) <= 256;
                break;
            case recordSst: fits = stringTableFits(i); break;
            default: break;
            }
            if (!fits)
                return false;
        }
        return true;
    }

private:
    static constexpr quint16 recordBof = 0x0809;
    static constexpr quint16 recordFormat = 0x041E;
    static constexpr quint16 recordLabel = 0x0204;
    static constexpr quint16 recordRString = 0x00D6;
    static constexpr quint16 recordBoundSheet = 0x0085;
    static constexpr quint16 recordDimension = 0x0200;
    static constexpr quint16 recordSst = 0x00FC;
    static constexpr quint16 recordContinue = 0x003C;

    struct Record
    {
        quint16 type;
        QByteArrayView body;
    };

    // A byte string: its length (1 or 2 bytes) at `at`, then the characters.
    static bool byteStringFits(QByteArrayView body, qsizetype at, int lengthSize)
    {
        if (at + lengthSize > body.size())
            return false;
        const qsizetype count = lengthSize == 2 ? qFromLittleEndian<quint16>(body.data() + at) : quint8(body.at(at));
        return at + lengthSize + count <= body.size();
    }

    // The head of a Unicode string: length (1 or 2 bytes), option flags, and the counts of
    // formatting runs and extra data when the flags announce them. Then come the characters (one
    // or two bytes each), the runs and the extra data.
    struct StringHead
    {
        qsizetype characters;
        quint8 flags;
        qsizetype trailing; // bytes of runs and extra data after the characters
        qsizetype end;
    };

    static std::optional<StringHead> stringHead(QByteArrayView bytes, qsizetype at, int lengthSize)
    {
        if (at + lengthSize + 1 > bytes.size())
            return std::nullopt;
        StringHead head{lengthSize == 2 ? qFromLittleEndian<quint16>(bytes.data() + at) : quint8(bytes.at(at)),
                        quint8(bytes.at(at + lengthSize)), 0, at + lengthSize + 1};
        if (head.flags & 0x08) {
            if (head.end + 2 > bytes.size())
                return std::nullopt;
            head.trailing += 4 * qsizetype(qFromLittleEndian<quint16>(bytes.data() + head.end));
            head.end += 2;
        }
        if (head.flags & 0x04) {
            if (head.end + 4 > bytes.size())
                return std::nullopt;
            head.trailing += qsizetype(qFromLittleEndian<quint32>(bytes.data() + head.end));
            head.end += 4;
        }
        return head;
    }

    // A Unicode string within one record.
    static bool unicodeStringFits(QByteArrayView body, qsizetype at, int lengthSize)
    {
        const auto head = stringHead(body, at, lengthSize);
        return head && head->end + head->characters * ((head->flags & 0x01) ? 2 : 1) + head->trailing <= body.size();
    }

    // The shared string table runs on in CONTINUE records; characters cut at a record's end go on
    // after one option byte that says how wide they are from there.
    bool stringTableFits(qsizetype first) const
    {
        QByteArray data;
        QList<qsizetype> ends;
        for (qsizetype i = first; i < m_records.size() && (i == first || m_records.at(i).type == recordContinue); ++i) {
            data += m_records.at(i).body.toByteArray();
            ends.append(data.size());
        }
        if (data.size() < 8)
            return false;
        const quint32 unique = qFromLittleEndian<quint32>(data.constData() + 4);
        if (unique > quint32(data.size() / 3))
            return false;
        qsizetype at = 8;
        qsizetype segment = 0;
        const auto endOfSegment = [&] {
            while (segment < ends.size() && ends.at(segment) <= at)
                ++segment;
            return segment < ends.size() ? ends.at(segment) : data.size();
        };
        for (quint32 s = 0; s < unique; ++s) {
            const auto head = stringHead(data, at, 2);
            if (!head)
                return false;
            qsizetype count = head->characters;
            quint8 flags = head->flags;
            at = head->end;
            while (count > 0) {
                const qsizetype width = (flags & 0x01) ? 2 : 1;
                const qsizetype end = endOfSegment();
                const qsizetype taken = qMin((end - at) / width, count);
                if (taken == 0)
                    return false; // a character cut in two, or the table ended
                at += taken * width;
                count -= taken;
                if (count > 0) {
                    if (at != end || at >= data.size())
                        return false;
                    flags = quint8(data.at(at++));
                }
            }
            at += head->trailing;
            if (at > data.size())
                return false;
        }
        return true;
    }

    QList<Record> m_records;
};

} // namespace

XlsWorkbook::XlsWorkbook(const QString &path, const CompoundFile &file)
    : m_path(path)
{
    QByteArray book = file.stream(QStringLiteral("Workbook"));
    if (book.isEmpty())
        book = file.stream(QStringLiteral("Book"));
    const Globals globals = readGlobals(book);
    if (globals.encrypted)
        throw SpreadsheetError::encrypted(path);
    if (!RecordCheck(book).sound())
        throw SpreadsheetError::damaged(path);

    // The active tab counted among the worksheets only, as FreeXL counts them.
    int activeTab = globals.activeTab < globals.sheetTypes.size() ? globals.activeTab : 0;
    if (!globals.sheetTypes.isEmpty() && globals.sheetTypes.at(activeTab) != sheetTypeWorksheet)
        throw SpreadsheetError::activeSheetIsNoWorksheet(path);
    const auto activeWorksheet = static_cast<unsigned short>(
        std::count(globals.sheetTypes.cbegin(), globals.sheetTypes.cbegin() + activeTab, sheetTypeWorksheet));

    if (freexl_open(QFile::encodeName(path).constData(), &m_handle) != FREEXL_OK) {
        close();
        throw SpreadsheetError::damaged(path);
    }
    unsigned info = 0;
    if (freexl_get_info(m_handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED) {
        close();
        throw SpreadsheetError::encrypted(path);
    }
    unsigned sheetCount = 0;
    freexl_get_info(m_handle, FREEXL_BIFF_SHEET_COUNT, &sheetCount);
    if (sheetCount == 0 || activeWorksheet >= sheetCount || freexl_select_active_worksheet(m_handle, 0) != FREEXL_OK
        || freexl_worksheet_dimensions(m_handle, &m_rows, &m_columns) != FREEXL_OK) {
        close();
        throw SpreadsheetError::damaged(path);
    }

    // The used range runs from the first row that holds a cell to the last; FreeXL counts rows
    // from the top of the sheet.
    for (unsigned row = 0; row < m_rows; ++row) {
        FreeXL_CellValue value;
        bool used = false;
        for (unsigned short column = 0; column < m_columns && !used; ++column)
            used = freexl_get_cell_value(m_handle, row, column, &value) == FREEXL_OK && value.type != FREEXL_CELL_NULL;
        if (used) {
            m_usedRowCount = static_cast<int>(m_rows - row);
            break;
        }
    }

    if (freexl_select_active_worksheet(m_handle, activeWorksheet) != FREEXL_OK
        || freexl_worksheet_dimensions(m_handle, &m_rows, &m_columns) != FREEXL_OK) {
        close();
        throw SpreadsheetError::damaged(path);
    }
}

XlsWorkbook::~XlsWorkbook()
{
    close();
}

QString XlsWorkbook::cellText(int row, int column)
{
    if (row < 1 || column < 1 || unsigned(row) > m_rows || column > m_columns)
        return {};
    FreeXL_CellValue value;
    if (!m_handle || freexl_get_cell_value(m_handle, row - 1, column - 1, &value) != FREEXL_OK)
        throw SpreadsheetError::damaged(m_path);
    switch (value.type) {
    case FREEXL_CELL_INT: return QString::number(value.value.int_value);
    case FREEXL_CELL_DOUBLE: return celltext::numberText(value.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME: return QString::fromUtf8(value.value.text_value);
    default: return {};
    }
}

void XlsWorkbook::close()
{
    if (m_handle)
        freexl_close(m_handle);
    m_handle = nullptr;
}
