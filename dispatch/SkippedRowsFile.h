#pragma once

#include "ImportPlan.h"

#include <QList>
#include <QString>

// Writes the rows an import skipped to a .csv file: the row's number in the sheet, what it held
// and the reason, one row each below a heading row. The file under `path` is replaced only by a
// complete list; a failure throws Error and leaves whatever was there as it was.
void saveSkippedRows(const QList<SkippedRow> &rows, ImportTarget target, const QString &path);
