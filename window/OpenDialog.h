#pragma once

#include <QList>
#include <QString>

#include <memory>

class QFileDialog;
class QWidget;

// The file dialog, for a file to open or a name to save under, with its filter written as
// "description|patterns" (patterns separated by ";"), several filters separated by "|" as well.
// Every file dialog of the program is made here: listing a folder reads no file, only the folder's
// entries (see makeDialog).
class OpenDialog
{
public:
    enum class Purpose
    {
        Open, // an existing file
        Save, // a new name or an existing file to replace (the dialog asks first)
    };

    explicit OpenDialog(QWidget *owner = nullptr, Purpose purpose = Purpose::Open)
        : m_owner(owner)
        , m_purpose(purpose)
    {
    }

    QString filter;
    // The chosen file's full path, after Execute returned true. A name saved under without an
    // extension gets the one of the filter chosen with it.
    QString fileName;

    // Shows the dialog; false when the user cancels or chose a file the program holds open.
    bool execute();

    // The dialog execute() shows, not yet shown. It opens no file while it lists a folder: on POSIX
    // closing any descriptor of a file drops every lock the process holds on it, and the working
    // folder holds db.mdb with SQLite's -wal and -shm beside it. A second program opening the
    // database would then take itself for the first, reset the shared index and crash this one.
    std::unique_ptr<QFileDialog> makeDialog() const;

private:
    // Keeps the chosen file, unless the program holds it open already (the database's own files):
    // then says so and gives false, as a cancel.
    bool take(const QString &chosen);


    QWidget *m_owner;
    Purpose m_purpose;
};

// Test seam: while one exists no dialog is shown; each Execute takes the next queued answer (a
// file name, or a cancel when none is queued) and records the filters the dialog would have
// offered, as its list of file types shows them.
class OpenDialogAnswers
{
public:
    OpenDialogAnswers();
    ~OpenDialogAnswers();
    OpenDialogAnswers(const OpenDialogAnswers &) = delete;
    OpenDialogAnswers &operator=(const OpenDialogAnswers &) = delete;

    void queueFileName(const QString &path);
    void queueCancel();
    QStringList takeOfferedFilters();
};
