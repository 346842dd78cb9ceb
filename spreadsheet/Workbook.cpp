#include "Workbook.h"

#include "CompoundFile.h"
#include "SpreadsheetLog.h"
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
        const CompoundFile compound(path, file.readAll());
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
