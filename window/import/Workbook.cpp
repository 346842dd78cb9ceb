#include "Workbook.h"

#include "CompoundFile.h"
#include "XlsWorkbook.h"
#include "XlsxWorkbook.h"

#include <QDir>
#include <QFile>

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

ESpreadsheetError ESpreadsheetError::cannotOpen(const QString &path)
{
    return ESpreadsheetError(QStringLiteral("无法打开文件“%1”").arg(shown(path)));
}

ESpreadsheetError ESpreadsheetError::notAWorkbook(const QString &path)
{
    return ESpreadsheetError(QStringLiteral("文件“%1”不是Excel工作簿").arg(shown(path)));
}

ESpreadsheetError ESpreadsheetError::damaged(const QString &path)
{
    return ESpreadsheetError(QStringLiteral("文件“%1”已损坏，无法读取").arg(shown(path)));
}

ESpreadsheetError ESpreadsheetError::encrypted(const QString &path)
{
    return ESpreadsheetError(QStringLiteral("文件“%1”有密码保护，请先在Excel中取消密码").arg(shown(path)));
}

ESpreadsheetError ESpreadsheetError::activeSheetIsNoWorksheet(const QString &path)
{
    return ESpreadsheetError(QStringLiteral("文件“%1”保存时显示的是图表，不是工作表").arg(shown(path)));
}

std::unique_ptr<TWorkbook> openWorkbook(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ESpreadsheetError::cannotOpen(path);
    const QByteArray head = file.peek(8);
    if (TCompoundFile::isCompoundFile(head)) {
        const TCompoundFile compound(path, file.readAll());
        if (compound.hasStream(QStringLiteral("Workbook")) || compound.hasStream(QStringLiteral("Book")))
            return std::make_unique<TXlsWorkbook>(path, compound);
        // An .xlsx package saved with a password travels inside a compound file.
        if (compound.hasStream(QStringLiteral("EncryptedPackage")))
            throw ESpreadsheetError::encrypted(path);
        throw ESpreadsheetError::notAWorkbook(path);
    }
    if (head.startsWith("PK"))
        return std::make_unique<TXlsxWorkbook>(path);
    throw ESpreadsheetError::notAWorkbook(path);
}
