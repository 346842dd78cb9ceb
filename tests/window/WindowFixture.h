#pragma once

#include "shell/MessageBoxes.h"
#include "tests/support/Printers.h"
#include "tests/support/TempDatabase.h"
#include "window/Unit1.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

// The window on a fresh db.mdb in a temporary working directory, with every box recorded
// instead of shown.
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override { db.enter(); }

    TForm1 &open()
    {
        form = std::make_unique<TForm1>();
        form->show();
        QApplication::setActiveWindow(form.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return *form;
    }

    template <class T> T *control(const char *name) const
    {
        T *widget = form->findChild<T *>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    int count(const QString &table) const
    {
        return db.scalar(QStringLiteral("select count(*) from ") + table).toInt();
    }

    // Types into whatever has the focus, as the keyboard does.
    static void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key(c.toUpper().unicode()), QString(c),
                                Qt::NoModifier);
    }

    shell::BoxRecorder boxes;
    testsupport::TempDatabase db;
    std::unique_ptr<TForm1> form;
};
