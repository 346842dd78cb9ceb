#include "Error.h"
#include "Handlers.h"
#include "MessageBoxes.h"
#include "Printers.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// An error raised by a handler behind a button reaches the error box, not the toolkit.
TEST(Handlers, AnErrorEscapingAHandlerIsShownInTheErrorBox)
{
    boxes::BoxRecorder boxes;
    QPushButton button;
    int runs = 0;
    QObject::connect(&button, &QPushButton::clicked, &button, boxes::guarded(&button, [&runs] {
        ++runs;
        throw Error(QStringLiteral("Connection refused"));
    }));

    button.click();
    button.click();

    EXPECT_EQ(runs, 2);
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("Connection refused."));
}

TEST(Handlers, ErrorsOfOtherKindsShowTheirText)
{
    boxes::BoxRecorder boxes;
    boxes::runHandler(nullptr, [] { throw std::runtime_error("bad thing"); });
    boxes::runHandler(nullptr, [] {});

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("bad thing."));
}

} // namespace
