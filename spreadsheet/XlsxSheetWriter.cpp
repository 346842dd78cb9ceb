#include "XlsxSheetWriter.h"

#include "Workbook.h"

#include <QDir>

#include <xlsxwriter.h>

#include <algorithm>
#include <dlfcn.h>
#include <utility>

namespace {

// Whole numbers beyond this lose digits as a number cell; they go in as their digits instead.
constexpr qint64 ExactInDouble = qint64(1) << 53;

// Widths of the export's columns in characters; columns past these keep the default.
constexpr double ColumnWidths[] = {8, 20, 30, 8, 30, 20, 40};

// libxlsxwriter writes its zip through libminizip, whose functions QuaZip (the .xlsx reader's zip)
// exports as well, under the same names but taking a QIODevice; QuaZip calls its own through the
// process's symbol table too. Linked into one process, one of the two always gets the other's
// functions and crashes. So libxlsxwriter is loaded into a link namespace of its own, where its
// minizip is the only one, and called through these pointers.
struct Library
{
    decltype(&::workbook_new_opt) workbookNew = nullptr;
    decltype(&::workbook_add_worksheet) addWorksheet = nullptr;
    decltype(&::worksheet_set_column) setColumn = nullptr;
    decltype(&::worksheet_write_number) writeNumber = nullptr;
    decltype(&::worksheet_write_string) writeString = nullptr;
    decltype(&::workbook_close) close = nullptr;
    decltype(&::lxw_workbook_free) free = nullptr;
    bool loaded = false;
};

template <typename Function> bool resolve(void *handle, const char *name, Function &function)
{
    function = reinterpret_cast<Function>(dlsym(handle, name));
    return function != nullptr;
}

// Loaded once for the program's life; the namespace is never unloaded.
const Library &library()
{
    static const Library loaded = [] {
        Library lib;
        void *handle = dlmopen(LM_ID_NEWLM, "libxlsxwriter.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return lib;
        lib.loaded = resolve(handle, "workbook_new_opt", lib.workbookNew)
            && resolve(handle, "workbook_add_worksheet", lib.addWorksheet)
            && resolve(handle, "worksheet_set_column", lib.setColumn)
            && resolve(handle, "worksheet_write_number", lib.writeNumber)
            && resolve(handle, "worksheet_write_string", lib.writeString)
            && resolve(handle, "workbook_close", lib.close) && resolve(handle, "lxw_workbook_free", lib.free);
        return lib;
    }();
    return loaded;
}

} // namespace

XlsxSheetWriter::XlsxSheetWriter(const QString &path, const QString &sheetName, int rowsPerSheet)
    : m_path(path)
    , m_sheetName(sheetName)
    , m_rowsPerSheet(std::clamp(rowsPerSheet, 2, MaxRowsPerSheet))
{
    if (!library().loaded)
        throw SpreadsheetError(
            QStringLiteral("无法写入文件“%1”：找不到程序库 libxlsxwriter").arg(QDir::toNativeSeparators(m_path)));
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    const QByteArray file = QFile::encodeName(path);
    m_workbook = library().workbookNew(file.constData(), &options);
    if (!m_workbook)
        throw SpreadsheetError(QStringLiteral("无法写入文件“%1”").arg(QDir::toNativeSeparators(m_path)));
    addSheet();
}

XlsxSheetWriter::~XlsxSheetWriter()
{
    // Not finished: the temporary parts go, the file stays as it is, to be thrown away.
    if (m_workbook)
        library().free(m_workbook);
}

// The library's own texts are English; the user reads which file, and the one cause they can act on.
void XlsxSheetWriter::fail(int error) const
{
    const QString file = QDir::toNativeSeparators(m_path);
    switch (error) {
    case LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED:
        throw SpreadsheetError(QStringLiteral("无法写入文件“%1”：单元格的文字超过32767个字符").arg(file));
    case LXW_ERROR_CREATING_TMPFILE:
        throw SpreadsheetError(QStringLiteral("无法写入文件“%1”：无法建立临时文件").arg(file));
    default: throw SpreadsheetError(QStringLiteral("无法写入文件“%1”").arg(file));
    }
}

void XlsxSheetWriter::addSheet()
{
    ++m_sheets;
    const QString name = m_sheets == 1 ? m_sheetName : QStringLiteral("%1 (%2)").arg(m_sheetName).arg(m_sheets);
    m_sheet = library().addWorksheet(m_workbook, name.toUtf8().constData());
    if (!m_sheet)
        fail(LXW_ERROR_SHEETNAME_ALREADY_USED);
    for (std::size_t c = 0; c < std::size(ColumnWidths); ++c)
        library().setColumn(m_sheet, lxw_col_t(c), lxw_col_t(c), ColumnWidths[c], nullptr);
    m_row = 0;
}

void XlsxSheetWriter::writeRow(std::span<const SheetCell> cells)
{
    if (m_sheets == 1 && m_row == 0) {
        for (const SheetCell &cell : cells)
            m_header.push_back({cell.kind, cell.value, std::string(cell.utf8.data(), std::size_t(cell.utf8.size()))});
    }
    if (m_row == m_rowsPerSheet) {
        addSheet();
        std::vector<SheetCell> header;
        for (const HeldCell &held : m_header)
            header.push_back({held.kind, held.value, QByteArrayView(held.text.data(), qsizetype(held.text.size()))});
        write(header);
    }
    write(cells);
}

void XlsxSheetWriter::write(std::span<const SheetCell> cells)
{
    for (std::size_t c = 0; c < cells.size(); ++c) {
        const SheetCell &cell = cells[c];
        lxw_error error = LXW_NO_ERROR;
        switch (cell.kind) {
        case SheetCell::Kind::Empty: break;
        case SheetCell::Kind::Number:
            if (cell.value > -ExactInDouble && cell.value < ExactInDouble) {
                error = library().writeNumber(m_sheet, lxw_row_t(m_row), lxw_col_t(c), double(cell.value), nullptr);
                break;
            }
            m_text = std::to_string(cell.value);
            error = library().writeString(m_sheet, lxw_row_t(m_row), lxw_col_t(c), m_text.c_str(), nullptr);
            break;
        case SheetCell::Kind::Text:
            // The library takes a NUL-ended text; an empty one leaves the cell empty.
            m_text.assign(cell.utf8.data(), std::size_t(cell.utf8.size()));
            error = library().writeString(m_sheet, lxw_row_t(m_row), lxw_col_t(c), m_text.c_str(), nullptr);
            break;
        }
        if (error != LXW_NO_ERROR)
            fail(error);
    }
    ++m_row;
}

void XlsxSheetWriter::finish()
{
    // The workbook is gone after closing, whatever the outcome.
    const lxw_error error = library().close(std::exchange(m_workbook, nullptr));
    if (error != LXW_NO_ERROR)
        fail(error);
}
