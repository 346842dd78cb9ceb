#include "RowStore.h"

#include "Stamp.h"
#include "Statement.h"

#include <QDateTime>

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace {
constexpr std::size_t blockSize = std::size_t(1) << 20;
constexpr unsigned char longLength = 0xff;
} // namespace

void RowStore::reset(int columns)
{
    m_columns.clear();
    m_columns.resize(std::size_t(columns));
    m_blocks.clear();
}

// A text is kept as its length (one byte, or 0xff and four bytes) and its bytes, in one block; the
// place is the block's number in the high half and the offset in the low half.
qint64 RowStore::storeBytes(const char *data, std::size_t size)
{
    const std::size_t header = size < longLength ? 1 : 5;
    if (m_blocks.empty() || m_blocks.back().capacity() - m_blocks.back().size() < header + size) {
        m_blocks.emplace_back();
        m_blocks.back().reserve(std::max(blockSize, header + size));
    }
    std::string &block = m_blocks.back();
    const qint64 place = (qint64(m_blocks.size() - 1) << 32) | qint64(block.size());
    if (header == 1) {
        block.push_back(char(size));
    } else {
        const std::uint32_t length = std::uint32_t(size);
        block.push_back(char(longLength));
        block.append(reinterpret_cast<const char *>(&length), sizeof length);
    }
    block.append(data, size);
    return place;
}

std::string_view RowStore::bytesAt(qint64 place) const
{
    const std::string &block = m_blocks[std::size_t(place >> 32)];
    const char *at = block.data() + (place & 0xffffffff);
    std::size_t length = static_cast<unsigned char>(*at++);
    if (length == longLength) {
        std::uint32_t longOne;
        std::memcpy(&longOne, at, sizeof longOne);
        length = longOne;
        at += sizeof longOne;
    }
    return {at, length};
}

void RowStore::appendFrom(const Statement &source, int firstColumn, int skipped)
{
    const int row = rowCount();
    for (int s = 0; s < firstColumn; ++s) {
        m_columns[std::size_t(s)].kinds.push_back(Null);
        m_columns[std::size_t(s)].cells.push_back(0);
    }
    sqlite3_stmt *statement = source.get();
    if (!statement) {
        // A server's row comes as values already.
        for (int c = firstColumn; c < columnCount(); ++c) {
            m_columns[std::size_t(c)].kinds.push_back(Null);
            m_columns[std::size_t(c)].cells.push_back(0);
        }
        for (int c = 0, s = 0; c + firstColumn < columnCount(); ++c, ++s) {
            if (s == skipped)
                ++s;
            setValue(row, c + firstColumn, source.column(s));
        }
        return;
    }
    for (int c = 0, s = 0; c + firstColumn < columnCount(); ++c, ++s) {
        if (s == skipped)
            ++s;
        Column &column = m_columns[std::size_t(c + firstColumn)];
        // One engine call per cell: the value is read at once, on the one thread using the connection.
        sqlite3_value *value = sqlite3_column_value(statement, s);
        const int type = sqlite3_value_type(value);
        switch (type) {
        case SQLITE_INTEGER:
            column.kinds.push_back(Integer);
            column.cells.push_back(sqlite3_value_int64(value));
            break;
        case SQLITE_FLOAT:
            column.kinds.push_back(Float);
            column.cells.push_back(std::bit_cast<qint64>(sqlite3_value_double(value)));
            break;
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const void *data = type == SQLITE_TEXT ? static_cast<const void *>(sqlite3_value_text(value))
                                                   : sqlite3_value_blob(value);
            const int size = sqlite3_value_bytes(value);
            column.kinds.push_back(type == SQLITE_TEXT ? Text : Blob);
            column.cells.push_back(storeBytes(static_cast<const char *>(data), std::size_t(size)));
            break;
        }
        default: column.kinds.push_back(Null); column.cells.push_back(0);
        }
    }
}

void RowStore::append(const QVariantList &values)
{
    const int row = rowCount();
    insertRow(row);
    for (int c = 0; c < columnCount() && c < values.size(); ++c)
        setValue(row, c, values.at(c));
}

void RowStore::insertRow(int row)
{
    for (Column &column : m_columns) {
        column.kinds.insert(column.kinds.begin() + row, Null);
        column.cells.insert(column.cells.begin() + row, 0);
    }
}

void RowStore::removeRow(int row)
{
    for (Column &column : m_columns) {
        column.kinds.erase(column.kinds.begin() + row);
        column.cells.erase(column.cells.begin() + row);
    }
}

QVariant RowStore::value(int row, int column) const
{
    const Column &c = m_columns[std::size_t(column)];
    const qint64 slot = c.cells[std::size_t(row)];
    switch (c.kinds[std::size_t(row)]) {
    case Integer: return qlonglong(slot);
    case Float: return std::bit_cast<double>(slot);
    case Text:
    case Blob: {
        const std::string_view bytes = bytesAt(slot);
        if (c.kinds[std::size_t(row)] == Text)
            return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
        return QByteArray(bytes.data(), qsizetype(bytes.size()));
    }
    default: return {};
    }
}

RowStore::Kind RowStore::kindOf(const QVariant &value)
{
    if (value.isNull())
        return Null;
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::ULongLong: return Integer;
    case QMetaType::Double:
    case QMetaType::Float: return Float;
    case QMetaType::QByteArray: return Blob;
    default: return Text;
    }
}

QByteArray RowStore::textOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return stamp::toText(value.toDateTime()).toUtf8();
    return value.toString().toUtf8();
}

void RowStore::setValue(int row, int column, const QVariant &value)
{
    Column &c = m_columns[std::size_t(column)];
    qint64 &cell = c.cells[std::size_t(row)];
    const Kind kind = kindOf(value);
    c.kinds[std::size_t(row)] = kind;
    switch (kind) {
    case Null: cell = 0; break;
    case Integer: cell = value.toLongLong(); break;
    case Float: cell = std::bit_cast<qint64>(value.toDouble()); break;
    case Blob:
    case Text: {
        // A replaced text leaves its old bytes behind; edits are few next to the rows read.
        const QByteArray bytes = kind == Blob ? value.toByteArray() : textOf(value);
        cell = storeBytes(bytes.constData(), std::size_t(bytes.size()));
    }
    }
}
