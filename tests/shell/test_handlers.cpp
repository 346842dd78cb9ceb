#include "shell/Exception.h"
#include "shell/Handlers.h"
#include "shell/MessageBoxes.h"
#include "tests/support/Printers.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// An error raised by a handler behind a button reaches the error box, not the toolkit.
TEST(Handlers, AnErrorEscapingAHandlerIsShownInTheErrorBox)
{
    shell::BoxRecorder boxes;
    QPushButton button;
    int runs = 0;
    QObject::connect(&button, &QPushButton::clicked, &button, shell::guarded(&button, [&runs] {
        ++runs;
        throw Exception(QStringLiteral("Connection refused"));
    }));

    button.click();
    button.click();

    EXPECT_EQ(runs, 2);
    const QList<shell::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].kind, shell::ShownBox::Kind::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("Connection refused."));
}

TEST(Handlers, ErrorsOfOtherKindsShowTheirText)
{
    shell::BoxRecorder boxes;
    shell::runHandler(nullptr, [] { throw std::runtime_error("bad thing"); });
    shell::runHandler(nullptr, [] {});

    const QList<shell::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("bad thing."));
}

} // namespace
