#pragma once

#include <QList>
#include <QString>

class QFileDialog;
class QWidget;

// The file-open dialog, with its filter written as "description|patterns" (patterns separated by
// ";"), several filters separated by "|" as well.
class OpenDialog
{
public:
    explicit OpenDialog(QWidget *owner = nullptr)
        : m_owner(owner)
    {
    }

    QString filter;
    // The chosen file's full path, after Execute returned true.
    QString fileName;

    // Shows the dialog; false when the user cancels.
    bool execute();

private:
    void setUp(QFileDialog &dialog) const;

    QWidget *m_owner;
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
