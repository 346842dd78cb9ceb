#pragma once

#include <QString>

// A file written under a name of its own beside the one the user chose, and put in its place only
// when it is complete: until then the chosen file, new or old, is untouched, and a file never
// committed is removed with the object. The name starts with a dot so that a file manager does not
// show it while it is being written.
class PendingFile
{
public:
    // Creates the empty file (with the permissions a new file gets). Throws Error when the folder
    // does not take it.
    explicit PendingFile(QString target);
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    // Where to write.
    const QString &path() const { return m_path; }

    // Puts the written file on disk and then in the chosen file's place, replacing what was there
    // in one step. Throws Error.
    void commit();

private:
    QString m_target;
    QString m_path;
    bool m_committed = false;
};
