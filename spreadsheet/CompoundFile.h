#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The streams of a compound file, the container that holds a .xls workbook (stream "Workbook",
// or "Book" for Excel 95) and also an encrypted .xlsx package. Every sector number and chain is
// checked against the file, so a damaged or crafted file fails cleanly instead of looping.
class CompoundFile
{
public:
    static bool isCompoundFile(const QByteArray &head);

    // Throws SpreadsheetError::damaged(path) when the file's structure is broken.
    CompoundFile(const QString &path, QByteArray data);

    // Streams are named without regard to letter case.
    bool hasStream(const QString &name) const;
    // The stream's bytes; empty when there is no such stream. Throws when its chain is broken.
    // They may be the file's own bytes rather than a copy: keep them no longer than this object
    // and the data it was made from.
    QByteArray stream(const QString &name) const;

private:
    struct Entry
    {
        QString name;
        quint32 start;
        quint64 size;
    };

    QByteArray chain(quint32 start, std::optional<quint64> size, bool mini) const;
    [[noreturn]] void fail() const;

    QString m_path;
    QByteArray m_data;
    qsizetype m_sectorSize = 512;
    quint32 m_miniCutoff = 4096;
    QList<quint32> m_fat;
    QList<quint32> m_miniFat;
    QByteArray m_miniStream;
    QList<Entry> m_streams;
};
