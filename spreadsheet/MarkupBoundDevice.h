#pragma once

#include <QIODevice>

#include <memory>

// One part of a package as the XML reader takes it, cut off with a read error where more than
// maxTextRun bytes pass without markup, or more than maxTagRun without a tag's "<". The reader
// gathers a whole text node or start tag into memory before it reports any of it, and scans an
// unfinished one again with every piece it is fed, so one endless text (a zip bomb's single cell)
// or attribute value has to be stopped here. A lone ">" may stand in a text or an attribute value;
// a "<" may not.
class MarkupBoundDevice final : public QIODevice
{
public:
    // Far above any text a workbook holds: a cell takes 32,767 characters, at most 7 bytes each
    // when escaped.
    static constexpr qint64 maxTextRun = 1024 * 1024;
    // A start tag of at most that many bytes of attributes and the text after it.
    static constexpr qint64 maxTagRun = 2 * maxTextRun;

    explicit MarkupBoundDevice(std::unique_ptr<QIODevice> source);

    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    qint64 cut();

    std::unique_ptr<QIODevice> m_source;
    qint64 m_run = 0; // bytes since the last "<" or ">"
    qint64 m_tagRun = 0; // bytes since the last "<"
    bool m_cut = false;
};
