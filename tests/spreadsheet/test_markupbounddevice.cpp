// The guard against endless text and endless tags: a run of exactly the limit passes, one byte more
// is cut off, wherever the run starts and ends and however the reader slices the part.

#include "MarkupBoundDevice.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

constexpr qint64 limit = MarkupBoundDevice::maxTextRun;

// Reads the whole part through the guard in pieces of `piece` bytes; false when it was cut off.
bool passes(const QByteArray &part, qint64 piece)
{
    auto source = std::make_unique<QBuffer>();
    source->setData(part);
    source->open(QIODevice::ReadOnly);
    MarkupBoundDevice device(std::move(source));
    QByteArray read;
    QByteArray buffer(piece, Qt::Uninitialized);
    for (;;) {
        const qint64 n = device.read(buffer.data(), piece);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        read.append(buffer.constData(), n);
    }
    EXPECT_EQ(read, part);
    return true;
}

TEST(MarkupBoundDevice, CutsOffARunOfTextLongerThanTheLimit)
{
    const QByteArray run(limit, 'a');
    const struct
    {
        const char *name;
        QByteArray part;
        bool passes;
    } cases[] = {
        {"a run of the limit between tags", "<t>" + run + "</t>", true},
        {"one byte more between tags", "<t>" + run + "a</t>", false},
        {"a run of the limit at the start", run + "<t/>", true},
        {"one byte more at the start", run + "a<t/>", false},
        {"a run of the limit at the end", "<t/>" + run, true},
        {"one byte more at the end", "<t/>" + run + "a", false},
        {"a run of the limit and nothing else", run, true},
        {"a run of twice the limit", run + run, false},
        {"runs of the limit between many tags", ("<t>" + run + "</t>").repeated(3), true},
        {"a run cut by a lone > then too long", "<t>" + run + ">" + run + "a", false},
        {"no text at all", "<a><b/></a>", true},
        // A start tag and the text after it, with ">" in its attribute value.
        {"a tag run of twice the limit", "<t a=\"" + QByteArray(limit - 7, '>') + "\">" + run + "</t>", true},
        {"a tag run one byte longer", "<t a=\"" + QByteArray(limit - 6, '>') + "\">" + run + "</t>", false},
        {"an endless attribute value", "<t a=\"" + QByteArray(63, 'a').append('>').repeated(3 * limit / 64), false},
    };
    for (const auto &c : cases) {
        for (const qint64 piece : {qint64(7), qint64(64 * 1024), limit, limit + 1, 3 * limit}) {
            EXPECT_EQ(passes(c.part, piece), c.passes) << c.name << ", read " << piece << " bytes at a time";
        }
    }
}

} // namespace
