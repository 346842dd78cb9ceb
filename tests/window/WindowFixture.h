#pragma once

#include "MainWindow.h"
#include "MessageBoxes.h"
#include "Printers.h"
#include "TempDatabase.h"

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

    MainWindow &open()
    {
        form = std::make_unique<MainWindow>();
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

    int count(const QString &table) const { return db.scalar(QStringLiteral("select count(*) from ") + table).toInt(); }

    // Types into whatever has the focus, as the keyboard does.
    static void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key(c.toUpper().unicode()), QString(c),
                                Qt::NoModifier);
    }

    boxes::BoxRecorder boxes;
    testsupport::TempDatabase db;
    std::unique_ptr<MainWindow> form;
};
