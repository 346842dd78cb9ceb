#pragma once

#include "CustomerImportRun.h"
#include "DatabaseLocation.h"

#include <QList>
#include <QString>

#include <functional>

namespace testimport {

struct Outcome
{
    bool opened = false;
    int imported = 0;
    QString failure; // the failure's text (before or while writing), empty when none
    QList<int> commits; // the rows committed so far, at each commit
    ImportPlan plan;
    ImportOutcome report;
};

// Runs an import to its end, waiting as the window does: reads, then (unless the reading failed)
// writes, the duplicates with the rest when `withDuplicates`. It is cancelled once `cancelAt` rows
// are committed; `beforeWriting` runs between the two steps.
Outcome runImport(const DatabaseLocation &database, const QString &path, ImportTarget target,
                  bool withDuplicates = true, int cancelAt = -1, const std::function<void()> &beforeWriting = {});

} // namespace testimport
