#include "MarkupBoundDevice.h"

MarkupBoundDevice::MarkupBoundDevice(std::unique_ptr<QIODevice> source)
    : m_source(std::move(source))
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool MarkupBoundDevice::atEnd() const
{
    return m_cut || m_source->atEnd();
}

qint64 MarkupBoundDevice::bytesAvailable() const
{
    return m_cut ? 0 : m_source->bytesAvailable();
}

qint64 MarkupBoundDevice::readData(char *data, qint64 maxSize)
{
    if (m_cut)
        return -1;
    const qint64 read = m_source->read(data, maxSize);
    for (qint64 i = 0; i < read; ++i) {
        if (data[i] == '<' || data[i] == '>') {
            m_run = 0;
        } else if (++m_run > maxTextRun) {
            m_cut = true;
            setErrorString(QStringLiteral("text without markup beyond %1 bytes").arg(maxTextRun));
            return -1;
        }
    }
    return read;
}

qint64 MarkupBoundDevice::writeData(const char *, qint64)
{
    return -1;
}
