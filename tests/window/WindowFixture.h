#pragma once

#include "CustomerPicker.h"
#include "EngineDatabase.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "Printers.h"
#include "TempDatabase.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

// The window driven as a user would, with every box recorded instead of shown. The window goes in
// TearDown, before the database the test made for it.
template <class TestBase> class WindowFixture : public TestBase
{
protected:
    void TearDown() override { form.reset(); }

    // The window on the database the location names, as the program starts on a setting.
    MainWindow &open(const DatabaseLocation &location)
    {
        form = std::make_unique<MainWindow>(location);
        return show();
    }

    template <class T> T *control(const char *name) const
    {
        T *widget = form->findChild<T *>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Types into whatever has the focus, as the keyboard does.
    static void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key(c.toUpper().unicode()), QString(c),
                                Qt::NoModifier);
    }

    // Drops the list down and picks the entry of a number with the keyboard; in the customer
    // picker, types the number and chooses its match.
    static void pick(QComboBox *list, const QString &number)
    {
        if (auto *picker = qobject_cast<CustomerPicker *>(list)) {
            chooseCustomer(picker, number, number);
            return;
        }
        list->showPopup();
        const int row = list->findData(number);
        ASSERT_GE(row, 0) << number.toStdString();
        list->view()->setCurrentIndex(list->model()->index(row, 0));
        QTest::keyClick(list->view(), Qt::Key_Return);
        ASSERT_EQ(list->currentData().toString(), number);
    }

    // Types over what the customer picker holds, as the keyboard does, and waits until its search
    // has ended; the matches it offers then.
    static QAbstractItemModel *typeInPicker(CustomerPicker *picker, const QString &typed)
    {
        // The keyboard reaches the window in front: a box closed a moment ago may have held it.
        QApplication::setActiveWindow(picker->window());
        picker->setFocus();
        QWidget *keyboard = QApplication::focusWidget();
        EXPECT_TRUE(keyboard == picker || keyboard == picker->lineEdit());
        QTest::keyClick(keyboard, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(keyboard, Qt::Key_Backspace);
        type(typed);
        while (picker->isSearching())
            QApplication::processEvents();
        return picker->matches();
    }

    // Types into the customer picker and chooses the match of a number with the keyboard.
    static void chooseCustomer(CustomerPicker *picker, const QString &typed, const QString &number)
    {
        const QAbstractItemModel *matches = typeInPicker(picker, typed);
        ASSERT_TRUE(picker->isMatchListVisible()) << typed.toStdString();
        const QModelIndexList found = matches->match(matches->index(0, 0), Qt::UserRole, number, 1, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << number.toStdString() << " among the matches of " << typed.toStdString();
        picker->matchList()->setCurrentIndex(picker->matchList()->model()->index(found[0].row(), 0));
        QTest::keyClick(picker->matchList(), Qt::Key_Return);
        ASSERT_EQ(picker->currentData().toString(), number);
    }

    // Presses 导入 and cancels the import once its rows are being written, not while the sheet is
    // read; returns when the import has ended.
    void importCancellingWhileWriting()
    {
        QTimer canceller;
        QObject::connect(&canceller, &QTimer::timeout, form.get(), [this] {
            if (auto *progress = form->template findChild<QProgressDialog *>();
                progress && progress->labelText().startsWith(QStringLiteral("正在导入")))
                progress->template findChild<QPushButton *>()->click();
        });
        canceller.start(1);
        control<QPushButton>("importButton")->click();
        canceller.stop();
    }

    MainWindow &show()
    {
        form->show();
        QApplication::setActiveWindow(form.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return *form;
    }

    boxes::BoxRecorder boxes;
    std::unique_ptr<MainWindow> form;
};

// The window on a fresh db.mdb in a temporary working directory.
class WindowTest : public WindowFixture<::testing::Test>
{
protected:
    void SetUp() override { db.enter(); }

    using WindowFixture::open;
    // As the program starts without a setting: db.mdb in the working directory.
    MainWindow &open()
    {
        form = std::make_unique<MainWindow>();
        return show();
    }

    int count(const QString &table) const { return db.scalar(QStringLiteral("select count(*) from ") + table).toInt(); }

    testsupport::TempDatabase db;
};

// A temporary directory as the working directory for the life of the object, the previous one
// restored after.
class TemporaryWorkingDirectory
{
public:
    TemporaryWorkingDirectory()
        : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
    }
    ~TemporaryWorkingDirectory() { QDir::setCurrent(m_previous); }
    TemporaryWorkingDirectory(const TemporaryWorkingDirectory &) = delete;
    TemporaryWorkingDirectory &operator=(const TemporaryWorkingDirectory &) = delete;

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// The window on a fresh database of the test's engine (a db.mdb, or a database with the tables on
// the test process's cluster), the working directory a temporary one on either: on a server the
// window must not need a file there. Instantiate with
// INSTANTIATE_TEST_SUITE_P(, Fixture, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineTestName).
class EngineWindowTest : public WindowFixture<::testing::TestWithParam<Engine>>
{
protected:
    void SetUp() override
    {
        if (testsupport::TempDatabase *file = db.file())
            file->enter();
        else
            workingDirectory = std::make_unique<TemporaryWorkingDirectory>();
    }
    void TearDown() override
    {
        WindowFixture::TearDown();
        workingDirectory.reset();
    }

    using WindowFixture::open;
    MainWindow &open() { return open(db.location()); }

    int count(const QString &table) const { return db.scalar(QStringLiteral("select count(*) from ") + table).toInt(); }

    testsupport::EngineDatabase db{GetParam()};
    std::unique_ptr<TemporaryWorkingDirectory> workingDirectory;
};

inline std::string engineTestName(const ::testing::TestParamInfo<Engine> &info)
{
    return testsupport::engineName(info.param);
}
