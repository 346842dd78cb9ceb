#include "XlsWorkbook.h"

#include "CellText.h"
#include "CompoundFile.h"

#include <QFile>
#include <QVarLengthArray>
#include <QtEndian>

#include <algorithm>
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

// Record bodies read as one run of bytes without copying them together: the shared string table
// runs on over CONTINUE records and is as large as the sheet's text.
class JoinedBytes
{
public:
    void append(QByteArrayView part)
    {
        m_parts.append(part);
        m_ends.append(size() + part.size());
    }
    qsizetype size() const { return m_ends.isEmpty() ? 0 : m_ends.last(); }
    // Where the parts end, counted in the joined bytes.
    const QVarLengthArray<qsizetype, 4> &ends() const { return m_ends; }

    quint8 at(qsizetype i) const
    {
        // Mostly read forward: the part of the last read first.
        if (i < partStart(m_last) || i >= m_ends[m_last])
            m_last = std::upper_bound(m_ends.cbegin(), m_ends.cend(), i) - m_ends.cbegin();
        return quint8(m_parts[m_last][i - partStart(m_last)]);
    }
    quint16 u16(qsizetype i) const { return quint16(at(i) | at(i + 1) << 8); }
    quint32 u32(qsizetype i) const { return quint32(u16(i)) | quint32(u16(i + 2)) << 16; }

private:
    qsizetype partStart(qsizetype part) const { return part == 0 ? 0 : m_ends[part - 1]; }

    QVarLengthArray<QByteArrayView, 4> m_parts;
    QVarLengthArray<qsizetype, 4> m_ends;
    mutable qsizetype m_last = 0;
};

// FreeXL takes the sizes written inside records on trust: a string longer than its record, a string
// table counting more strings than it holds, or a sheet claiming more cells than a sheet can have
// make it read or allocate far past what the file holds. The records it reads such sizes from are
// checked here before FreeXL sees the file. The records are read where they lie in the stream.
class RecordCheck
{
public:
    explicit RecordCheck(const QByteArray &stream)
        : m_stream(stream)
    {
    }

    bool sound() const
    {
        const std::optional<Record> first = recordAt(0);
        if (!first || first->type != recordBof || first->body.size() < 2)
            return false;
        const bool biff8 = qFromLittleEndian<quint16>(first->body.data()) == 0x0600;
        for (std::optional<Record> record = first; record; record = recordAt(record->next)) {
            const QByteArrayView body = record->body;
            bool fits = true;
            switch (record->type) {
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
            case recordSst: fits = stringTableFits(*record); break;
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
        qsizetype next; // where the record after it begins
    };

    // None at the stream's end, nor for a record running past it: FreeXL reads no further.
    std::optional<Record> recordAt(qsizetype at) const
    {
        if (at + 4 > m_stream.size())
            return std::nullopt;
        const char *data = m_stream.constData();
        const quint16 length = qFromLittleEndian<quint16>(data + at + 2);
        if (at + 4 + length > m_stream.size())
            return std::nullopt;
        return Record{qFromLittleEndian<quint16>(data + at), QByteArrayView(data + at + 4, length), at + 4 + length};
    }

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

    static std::optional<StringHead> stringHead(const JoinedBytes &bytes, qsizetype at, int lengthSize)
    {
        if (at + lengthSize + 1 > bytes.size())
            return std::nullopt;
        StringHead head{lengthSize == 2 ? bytes.u16(at) : bytes.at(at), bytes.at(at + lengthSize), 0,
                        at + lengthSize + 1};
        if (head.flags & 0x08) {
            if (head.end + 2 > bytes.size())
                return std::nullopt;
            head.trailing += 4 * qsizetype(bytes.u16(head.end));
            head.end += 2;
        }
        if (head.flags & 0x04) {
            if (head.end + 4 > bytes.size())
                return std::nullopt;
            head.trailing += qsizetype(bytes.u32(head.end));
            head.end += 4;
        }
        return head;
    }

    // A Unicode string within one record.
    static bool unicodeStringFits(QByteArrayView body, qsizetype at, int lengthSize)
    {
        JoinedBytes bytes;
        bytes.append(body);
        const auto head = stringHead(bytes, at, lengthSize);
        return head && head->end + head->characters * ((head->flags & 0x01) ? 2 : 1) + head->trailing <= body.size();
    }

    // The shared string table runs on in CONTINUE records; characters cut at a record's end go on
    // after one option byte that says how wide they are from there.
    bool stringTableFits(const Record &table) const
    {
        JoinedBytes data;
        data.append(table.body);
        for (std::optional<Record> record = recordAt(table.next); record && record->type == recordContinue;
             record = recordAt(record->next))
            data.append(record->body);
        const auto &ends = data.ends();
        if (data.size() < 8)
            return false;
        const quint32 unique = data.u32(4);
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
                    flags = data.at(at++);
                }
            }
            at += head->trailing;
            if (at > data.size())
                return false;
        }
        return true;
    }

    const QByteArray &m_stream;
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
