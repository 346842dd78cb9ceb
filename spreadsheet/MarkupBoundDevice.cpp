#include "MarkupBoundDevice.h"

#include <algorithm>

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
    const auto isMarkup = [](char c) { return c == '<' || c == '>'; };
    // A run that lies within a slice no longer than the limit is short enough, so only the run
    // carried into each slice and the one left at its end are counted; the bytes between are not
    // looked at.
    const char *end = data + std::max<qint64>(read, 0);
    for (const char *slice = data; slice != end;) {
        const char *sliceEnd = slice + std::min<qint64>(end - slice, maxTextRun);
        const char *first = std::find_if(slice, sliceEnd, isMarkup);
        if (m_run + (first - slice) > maxTextRun)
            return cut();
        if (first == sliceEnd) {
            m_run += sliceEnd - slice;
        } else {
            const char *last = sliceEnd - 1;
            while (!isMarkup(*last))
                --last;
            m_run = sliceEnd - last - 1;
        }
        slice = sliceEnd;
    }
    return read;
}

qint64 MarkupBoundDevice::cut()
{
    m_cut = true;
    setErrorString(QStringLiteral("text without markup beyond %1 bytes").arg(maxTextRun));
    return -1;
}

qint64 MarkupBoundDevice::writeData(const char *, qint64)
{
    return -1;
}
