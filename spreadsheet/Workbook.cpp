#include "Workbook.h"

#include "CompoundFile.h"
#include "SpreadsheetLog.h"
#include "XlsWorkbook.h"
#include "XlsxWorkbook.h"

#include <QDir>
#include <QFile>

#include <sys/mman.h>

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A whole file read once into memory of its size taken straight from the system, in huge pages
// where the system gives them on request. A .xls workbook of 65,535 customers is some 6 MB: in
// ordinary pages its reading costs one page fault per 4 KB, more than the copying itself.
class FileBytes
{
public:
    explicit FileBytes(QFile &file)
    {
        const qint64 size = file.size();
        if (size > 0) {
            m_length = size_t(size) + hugePage;
            void *memory = mmap(nullptr, m_length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (memory != MAP_FAILED)
                m_memory = memory;
        }
        if (!m_memory) {
            m_bytes = file.readAll();
            return;
        }
        // Huge pages must start on their own boundary.
        const auto start = (quintptr(m_memory) + hugePage - 1) & ~quintptr(hugePage - 1);
        char *data = reinterpret_cast<char *>(start);
        madvise(data, size_t(size), MADV_HUGEPAGE);
        qint64 read = 0;
        while (read < size) {
            const qint64 got = file.read(data + read, size - read);
            if (got <= 0)
                break;
            read += got;
        }
        m_bytes = QByteArray::fromRawData(data, read);
    }
    ~FileBytes()
    {
        if (m_memory)
            munmap(m_memory, m_length);
    }
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;

    // Valid while this object lives.
    const QByteArray &bytes() const { return m_bytes; }

private:
    static constexpr size_t hugePage = 2 * 1024 * 1024;

    void *m_memory = nullptr;
    size_t m_length = 0;
    QByteArray m_bytes;
};

} // namespace

SpreadsheetError SpreadsheetError::cannotOpen(const QString &path)
{
    return SpreadsheetError(QStringLiteral("无法打开文件“%1”").arg(shown(path)));
}

SpreadsheetError SpreadsheetError::notAWorkbook(const QString &path)
{
    return SpreadsheetError(QStringLiteral("文件“%1”不是Excel工作簿").arg(shown(path)));
}

SpreadsheetError SpreadsheetError::damaged(const QString &path)
{
    return SpreadsheetError(QStringLiteral("文件“%1”已损坏，无法读取").arg(shown(path)));
}

SpreadsheetError SpreadsheetError::encrypted(const QString &path)
{
    return SpreadsheetError(QStringLiteral("文件“%1”有密码保护，请先在Excel中取消密码").arg(shown(path)));
}

SpreadsheetError SpreadsheetError::activeSheetIsNoWorksheet(const QString &path)
{
    return SpreadsheetError(QStringLiteral("文件“%1”保存时显示的是图表，不是工作表").arg(shown(path)));
}

std::unique_ptr<Workbook> openWorkbook(const QString &path)
{
    qCInfo(spreadsheetLog) << "opening" << path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SpreadsheetError::cannotOpen(path);
    const QByteArray head = file.peek(8);
    if (CompoundFile::isCompoundFile(head)) {
        const FileBytes bytes(file);
        const CompoundFile compound(path, bytes.bytes());
        if (compound.hasStream(QStringLiteral("Workbook")) || compound.hasStream(QStringLiteral("Book")))
            return std::make_unique<XlsWorkbook>(path, compound);
        // An .xlsx package saved with a password travels inside a compound file.
        if (compound.hasStream(QStringLiteral("EncryptedPackage")))
            throw SpreadsheetError::encrypted(path);
        throw SpreadsheetError::notAWorkbook(path);
    }
    if (head.startsWith("PK"))
        return std::make_unique<XlsxWorkbook>(path);
    throw SpreadsheetError::notAWorkbook(path);
}
