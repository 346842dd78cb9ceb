#include "CsvSheetWriter.h"

#include "Workbook.h"

#include <QDir>

namespace {

constexpr qsizetype FlushSize = 1 << 16;

SpreadsheetError cannotWrite(const QFile &file)
{
    return SpreadsheetError(
        QStringLiteral("无法写入文件“%1”：%2").arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
}

bool startsLikeFormula(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    switch (text.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r': return true;
    default: return false;
    }
}

bool needsQuotes(QByteArrayView text)
{
    for (const char c : text) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

} // namespace

CsvSheetWriter::CsvSheetWriter(const QString &path)
    : m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw cannotWrite(m_file);
    m_buffer.reserve(FlushSize + 4096);
    m_buffer.append("\xEF\xBB\xBF");
}

CsvSheetWriter::~CsvSheetWriter() = default;

void CsvSheetWriter::appendField(QByteArray &line, const SheetCell &cell)
{
    switch (cell.kind) {
    case SheetCell::Kind::Empty: return;
    case SheetCell::Kind::Number: line.append(QByteArray::number(cell.value)); return;
    case SheetCell::Kind::Text: break;
    }
    const bool guarded = startsLikeFormula(cell.utf8);
    if (!needsQuotes(cell.utf8)) {
        if (guarded)
            line.append('\'');
        line.append(cell.utf8);
        return;
    }
    line.append('"');
    if (guarded)
        line.append('\'');
    for (const char c : cell.utf8) {
        if (c == '"')
            line.append('"');
        line.append(c);
    }
    line.append('"');
}

void CsvSheetWriter::writeRow(std::span<const SheetCell> cells)
{
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            m_buffer.append(',');
        appendField(m_buffer, cells[i]);
    }
    m_buffer.append("\r\n");
    if (m_buffer.size() >= FlushSize)
        flush();
}

void CsvSheetWriter::flush()
{
    if (m_file.write(m_buffer) != m_buffer.size())
        throw cannotWrite(m_file);
    m_buffer.clear();
}

void CsvSheetWriter::finish()
{
    flush();
    if (!m_file.flush())
        throw cannotWrite(m_file);
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        throw cannotWrite(m_file);
}
