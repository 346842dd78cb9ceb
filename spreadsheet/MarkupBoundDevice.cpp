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

namespace {

// Counts the bytes since the last byte of the kind across the slices of the parts read: false when
// they passed the limit. A run that lies within a slice (never longer than the limit) is short enough,
// so only the run carried into each slice and the one left at its end are counted; the bytes
// between are not looked at.
template<typename IsBound>
bool withinBound(const char *slice, const char *sliceEnd, qint64 &run, qint64 limit, IsBound isBound)
{
    const char *first = std::find_if(slice, sliceEnd, isBound);
    if (run + (first - slice) > limit)
        return false;
    if (first == sliceEnd) {
        run += sliceEnd - slice;
    } else {
        const char *last = sliceEnd - 1;
        while (!isBound(*last))
            --last;
        run = sliceEnd - last - 1;
    }
    return true;
}

} // namespace

qint64 MarkupBoundDevice::readData(char *data, qint64 maxSize)
{
    if (m_cut)
        return -1;
    const qint64 read = m_source->read(data, maxSize);
    const auto isMarkup = [](char c) { return c == '<' || c == '>'; };
    const auto isTagStart = [](char c) { return c == '<'; };
    const char *end = data + std::max<qint64>(read, 0);
    for (const char *slice = data; slice != end;) {
        const char *sliceEnd = slice + std::min<qint64>(end - slice, maxTextRun);
        if (!withinBound(slice, sliceEnd, m_run, maxTextRun, isMarkup)
            || !withinBound(slice, sliceEnd, m_tagRun, maxTagRun, isTagStart))
            return cut();
        slice = sliceEnd;
    }
    return read;
}

qint64 MarkupBoundDevice::cut()
{
    m_cut = true;
    setErrorString(QStringLiteral("text or tag without markup beyond its bound"));
    return -1;
}

qint64 MarkupBoundDevice::writeData(const char *, qint64)
{
    return -1;
}
