#pragma once

#include <QIODevice>

#include <memory>

// One part of a package as the XML reader takes it, cut off with a read error where more than
// maxTextRun bytes pass without markup. The reader gathers a whole text node into memory before
// it reports any of it, so one endless text (a zip bomb's single cell) has to be stopped here.
class MarkupBoundDevice final : public QIODevice
{
public:
    // Far above any text a workbook holds: a cell takes 32,767 characters, at most 7 bytes each
    // when escaped.
    static constexpr qint64 maxTextRun = 1024 * 1024;

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
    qint64 m_run = 0;
    bool m_cut = false;
};
