#pragma once

#include <QString>

class QWidget;
class ViewSource;

// The confirmation's question for one record: "删除客户“张三”（12）？". A part the record lacks is
// left out; a record without a kind, or with neither name nor number, is "这条记录".
QString deleteQuestion(const QString &kind, const QString &name, const QString &id);

// Asks whether to delete the source's current record, naming it, and deletes exactly that record
// when the user agrees. The box lets the window serve events (a send run's reports, a re-query), so
// the record is held by its key while the box is open; a record gone meanwhile is not replaced by
// whatever row is current by then: nothing is deleted. A new record not yet saved is given up.
void confirmDelete(ViewSource &source, QWidget *boxParent);
