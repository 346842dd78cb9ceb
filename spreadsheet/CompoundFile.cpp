#include "CompoundFile.h"

#include "Workbook.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

constexpr quint32 lastRegularSector = 0xFFFFFFFA;
constexpr quint32 endOfChain = 0xFFFFFFFE;
constexpr qsizetype headerSize = 512;
constexpr qsizetype miniSectorSize = 64;
constexpr qsizetype directoryEntrySize = 128;
constexpr quint8 streamObject = 2;
constexpr quint8 rootObject = 5;

const char signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

quint16 u16(const char *at)
{
    return qFromLittleEndian<quint16>(at);
}

quint32 u32(const char *at)
{
    return qFromLittleEndian<quint32>(at);
}

// A table of sector numbers (the FAT, the mini FAT) from the bytes of its sectors.
void appendEntries(QList<quint32> &table, const QByteArray &bytes)
{
    for (qsizetype at = 0; at + 4 <= bytes.size(); at += 4)
        table.append(u32(bytes.constData() + at));
}

} // namespace

bool CompoundFile::isCompoundFile(const QByteArray &head)
{
    return head.startsWith(QByteArray::fromRawData(signature, 8));
}

CompoundFile::CompoundFile(const QString &path, QByteArray data)
    : m_path(path)
    , m_data(std::move(data))
{
    if (m_data.size() < headerSize || !isCompoundFile(m_data))
        fail();
    const char *header = m_data.constData();
    const quint16 sectorShift = u16(header + 0x1E);
    if ((sectorShift != 9 && sectorShift != 12) || u16(header + 0x20) != 6)
        fail();
    m_sectorSize = qsizetype(1) << sectorShift;
    m_miniCutoff = u32(header + 0x38);
    const qsizetype sectorCount = (m_data.size() - headerSize + m_sectorSize - 1) / m_sectorSize;
    const qsizetype entriesPerSector = m_sectorSize / 4;

    // The FAT's own sectors: 109 in the header, the rest in a chain of DIFAT sectors.
    QList<quint32> fatSectors;
    for (int i = 0; i < 109; ++i) {
        const quint32 sector = u32(header + 0x4C + 4 * i);
        if (sector < lastRegularSector)
            fatSectors.append(sector);
    }
    quint32 difat = u32(header + 0x44);
    for (qsizetype steps = 0; difat < lastRegularSector; ++steps) {
        if (steps >= sectorCount || difat >= quint32(sectorCount))
            fail();
        const char *at = m_data.constData() + headerSize + qsizetype(difat) * m_sectorSize;
        if (at + m_sectorSize > m_data.constData() + m_data.size())
            fail();
        for (qsizetype i = 0; i < entriesPerSector - 1; ++i) {
            const quint32 sector = u32(at + 4 * i);
            if (sector < lastRegularSector)
                fatSectors.append(sector);
        }
        difat = u32(at + m_sectorSize - 4);
    }
    if (fatSectors.size() > sectorCount)
        fail();
    for (const quint32 sector : fatSectors) {
        if (sector >= quint32(sectorCount))
            fail();
        appendEntries(m_fat, m_data.mid(headerSize + qsizetype(sector) * m_sectorSize, m_sectorSize));
    }

    const QByteArray directory = chain(u32(header + 0x30), std::nullopt, false);
    if (directory.size() < directoryEntrySize || quint8(directory.at(0x42)) != rootObject)
        fail();
    const bool version3 = u16(header + 0x1A) == 3;
    for (qsizetype at = 0; at + directoryEntrySize <= directory.size(); at += directoryEntrySize) {
        const char *entry = directory.constData() + at;
        const quint8 type = quint8(entry[0x42]);
        // A name runs to 32 UTF-16 characters at most; a longer length is a broken entry (and
        // FreeXL would convert it past its buffer).
        const quint16 nameBytes = u16(entry + 0x40);
        if (nameBytes > 64 || nameBytes % 2 != 0)
            fail();
        // Version 3 files may leave garbage in the size's high half.
        quint64 size = qFromLittleEndian<quint64>(entry + 0x78);
        if (version3)
            size &= 0xFFFFFFFFu;
        if (type == rootObject && at == 0) {
            if (size != 0)
                m_miniStream = chain(u32(entry + 0x74), size, false);
        } else if (type == streamObject) {
            const qsizetype nameLength = qMax(nameBytes / 2 - 1, 0);
            m_streams.append(
                {QString::fromUtf16(reinterpret_cast<const char16_t *>(entry), nameLength), u32(entry + 0x74), size});
        }
    }
    if (u32(header + 0x3C) < lastRegularSector)
        appendEntries(m_miniFat, chain(u32(header + 0x3C), std::nullopt, false));
}

bool CompoundFile::hasStream(const QString &name) const
{
    return std::any_of(m_streams.cbegin(), m_streams.cend(),
                       [&](const Entry &e) { return e.name.compare(name, Qt::CaseInsensitive) == 0; });
}

QByteArray CompoundFile::stream(const QString &name) const
{
    for (const Entry &e : m_streams) {
        if (e.name.compare(name, Qt::CaseInsensitive) == 0)
            return e.size == 0 ? QByteArray() : chain(e.start, e.size, e.size < m_miniCutoff);
    }
    return {};
}

// The bytes of a chain of sectors, cut to size when one is given (else the whole chain). A chain
// that leaves the file, visits a sector twice or ends before size bytes is a damaged file.
// The chain is walked once to check it and to learn its length, so the bytes are put together in
// one buffer of the right size; a chain of consecutive sectors, as writers lay a stream down, is
// not copied at all.
QByteArray CompoundFile::chain(quint32 start, std::optional<quint64> size, bool mini) const
{
    const QList<quint32> &table = mini ? m_miniFat : m_fat;
    const qsizetype unit = mini ? miniSectorSize : m_sectorSize;
    const QByteArray &source = mini ? m_miniStream : m_data;
    const qsizetype offset = mini ? 0 : headerSize;
    if (size && *size > quint64(source.size()))
        fail();
    QList<quint32> sectors;
    QList<bool> visited(table.size(), false);
    quint64 length = 0;
    bool consecutive = true;
    for (quint32 sector = start; sector != endOfChain && (!size || length < *size); sector = table.at(sector)) {
        if (sector >= quint32(table.size()) || visited.at(sector))
            fail();
        visited[sector] = true;
        const qsizetype at = offset + qsizetype(sector) * unit;
        if (at >= source.size())
            fail();
        consecutive = consecutive && (sectors.isEmpty() || sector == sectors.last() + 1);
        sectors.append(sector);
        length += quint64(qMin(unit, source.size() - at));
    }
    if (size) {
        if (length < *size)
            fail();
        length = *size;
    }
    if (sectors.isEmpty())
        return {};
    const qsizetype first = offset + qsizetype(sectors.first()) * unit;
    if (consecutive)
        return QByteArray::fromRawData(source.constData() + first, qsizetype(length));
    QByteArray bytes(qsizetype(length), Qt::Uninitialized);
    qsizetype filled = 0;
    for (const quint32 sector : sectors) {
        const qsizetype at = offset + qsizetype(sector) * unit;
        const qsizetype count = std::min({unit, source.size() - at, bytes.size() - filled});
        std::memcpy(bytes.data() + filled, source.constData() + at, size_t(count));
        filled += count;
    }
    return bytes;
}

void CompoundFile::fail() const
{
    throw SpreadsheetError::damaged(m_path);
}
