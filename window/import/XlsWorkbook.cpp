#include "XlsWorkbook.h"

#include "CellText.h"
#include "CompoundFile.h"

#include <QFile>
#include <QtEndian>

#include <freexl.h>

namespace {

// The workbook globals' records this reader needs.
constexpr quint16 recordEof = 0x000A;
constexpr quint16 recordFilePass = 0x002F;
constexpr quint16 recordWindow1 = 0x003D;
constexpr quint16 recordBoundSheet = 0x0085;
constexpr quint8 sheetTypeWorksheet = 0;

struct Globals {
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

} // namespace

TXlsWorkbook::TXlsWorkbook(const QString &path, const TCompoundFile &file)
    : m_path(path)
{
    QByteArray book = file.stream(QStringLiteral("Workbook"));
    if (book.isEmpty())
        book = file.stream(QStringLiteral("Book"));
    const Globals globals = readGlobals(book);
    if (globals.encrypted)
        throw ESpreadsheetError::encrypted(path);

    // The active tab counted among the worksheets only, as FreeXL counts them.
    int activeTab = globals.activeTab < globals.sheetTypes.size() ? globals.activeTab : 0;
    if (!globals.sheetTypes.isEmpty() && globals.sheetTypes.at(activeTab) != sheetTypeWorksheet)
        throw ESpreadsheetError::activeSheetIsNoWorksheet(path);
    const auto activeWorksheet = static_cast<unsigned short>(
        std::count(globals.sheetTypes.cbegin(), globals.sheetTypes.cbegin() + activeTab, sheetTypeWorksheet));

    if (freexl_open(QFile::encodeName(path).constData(), &m_handle) != FREEXL_OK) {
        Close();
        throw ESpreadsheetError::damaged(path);
    }
    unsigned info = 0;
    if (freexl_get_info(m_handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED) {
        Close();
        throw ESpreadsheetError::encrypted(path);
    }
    unsigned sheetCount = 0;
    freexl_get_info(m_handle, FREEXL_BIFF_SHEET_COUNT, &sheetCount);
    if (sheetCount == 0 || activeWorksheet >= sheetCount
        || freexl_select_active_worksheet(m_handle, 0) != FREEXL_OK
        || freexl_worksheet_dimensions(m_handle, &m_rows, &m_columns) != FREEXL_OK) {
        Close();
        throw ESpreadsheetError::damaged(path);
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
        Close();
        throw ESpreadsheetError::damaged(path);
    }
}

TXlsWorkbook::~TXlsWorkbook()
{
    Close();
}

QString TXlsWorkbook::CellText(int row, int column)
{
    if (row < 1 || column < 1 || unsigned(row) > m_rows || column > m_columns)
        return {};
    FreeXL_CellValue value;
    if (!m_handle || freexl_get_cell_value(m_handle, row - 1, column - 1, &value) != FREEXL_OK)
        throw ESpreadsheetError::damaged(m_path);
    switch (value.type) {
    case FREEXL_CELL_INT:
        return QString::number(value.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return celltext::numberText(value.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
        return QString::fromUtf8(value.value.text_value);
    default:
        return {};
    }
}

void TXlsWorkbook::Close()
{
    if (m_handle)
        freexl_close(m_handle);
    m_handle = nullptr;
}
