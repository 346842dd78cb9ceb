#include "RecordDeletion.h"

#include "DatabaseError.h"
#include "MessageBoxes.h"
#include "ViewSource.h"

#include <QPointer>

QString deleteQuestion(const QString &kind, const QString &name, const QString &id)
{
    if (kind.isEmpty() || (name.isEmpty() && id.isEmpty()))
        return QStringLiteral("删除这条记录？");
    QString question = QStringLiteral("删除") + kind;
    if (!name.isEmpty())
        question += QStringLiteral("“%1”").arg(name);
    if (!id.isEmpty())
        question += QStringLiteral("（%1）").arg(id);
    return question + QStringLiteral("？");
}

namespace {

QString fieldText(const RecordView &view, int row, const QString &field)
{
    if (field.isEmpty())
        return {};
    const int column = view.fieldIndex(field);
    return column < 0 ? QString() : view.value(row, column).toString().simplified();
}

} // namespace

void confirmDelete(ViewSource &source, QWidget *boxParent)
{
    const QPointer<RecordView> view = source.view();
    if (!view)
        return;
    if (!view->isActive())
        throw DatabaseError::closedDataset();
    const int row = view->currentRow();
    if (!view->canModify() || row < 0)
        return;
    const RecordNaming &naming = source.naming();
    const QString question
        = deleteQuestion(naming.kind, fieldText(*view, row, naming.nameField), fieldText(*view, row, naming.idField));

    if (view->state() == RecordView::State::Inserting) {
        if (boxes::confirm(boxParent, question) && view && view->isActive()
            && view->state() == RecordView::State::Inserting)
            view->cancel();
        return;
    }
    const std::optional<qint64> key = view->key(row);
    if (!key)
        throw DatabaseError::rowNotFound();
    if (!boxes::confirm(boxParent, question))
        return;
    // A view closed meanwhile (a re-query of the send-record page) holds no record to delete.
    if (view && view->isActive() && source.view() == view)
        view->removeKey(*key);
}
