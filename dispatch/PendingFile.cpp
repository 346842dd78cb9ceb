#include "PendingFile.h"

#include "Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

Error cannotWrite(const QString &target, const QString &reason)
{
    return Error(QStringLiteral("无法写入文件“%1”：%2").arg(QDir::toNativeSeparators(target), reason));
}

} // namespace

PendingFile::PendingFile(QString target)
    : m_target(std::move(target))
{
    const QFileInfo chosen(m_target);
    QFile file;
    // A name taken already (a leftover of a crash, another export) is passed over.
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.setFileName(
            chosen.dir().filePath(QStringLiteral(".%1.%2.part")
                                      .arg(chosen.fileName())
                                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_path = file.fileName();
            return;
        }
        if (file.exists())
            continue;
        break;
    }
    throw cannotWrite(m_target, file.errorString());
}

PendingFile::~PendingFile()
{
    if (!m_committed)
        QFile::remove(m_path);
}

void PendingFile::commit()
{
    QFile written(m_path);
    if (!written.open(QIODevice::ReadOnly))
        throw cannotWrite(m_target, written.errorString());
    if (::fsync(written.handle()) != 0)
        throw cannotWrite(m_target, QString::fromLocal8Bit(std::strerror(errno)));
    written.close();
    // QFile::rename never replaces an existing file; the system's rename does, atomically.
    if (std::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(m_target).constData()) != 0)
        throw cannotWrite(m_target, QString::fromLocal8Bit(std::strerror(errno)));
    m_committed = true;
}
