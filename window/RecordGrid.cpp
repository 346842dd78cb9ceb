#include "RecordGrid.h"

#include "Appearance.h"
#include "DatabaseError.h"
#include "FieldControls.h"
#include "Handlers.h"
#include "MessageBoxes.h"
#include "RecordDeletion.h"
#include "Refusals.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

// The cell editor: typing puts the view into editing of the current record; a text longer than
// its field takes is refused when handed over, never cut while typed.
class CellDelegate : public QStyledItemDelegate
{
public:
    explicit CellDelegate(RecordModel *model, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_model(model)
    {
    }

    // The editor open in the grid, if any.
    QLineEdit *editor() const { return m_editor; }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        auto *editor = new QLineEdit(parent);
        editor->setFrame(false);
        ViewSource *source = m_model->source();
        connect(editor, &QLineEdit::textEdited, source, boxes::guarded(editor, [source] { source->edit(); }));
        m_editor = editor;
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        // The record changing under an open editor (another field handed over) keeps what was typed.
        auto *lineEdit = static_cast<QLineEdit *>(editor);
        if (!lineEdit->isModified())
            lineEdit->setText(index.data(Qt::EditRole).toString());
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        auto *lineEdit = static_cast<QLineEdit *>(editor);
        if (lineEdit->isModified()) {
            boxes::runHandler(editor, [&] {
                if (const Field *field = m_model->field(index.column()))
                    checkLength(*field, lineEdit->text());
                model->setData(index, lineEdit->text());
            });
            lineEdit->setModified(false);
        }
    }

    void destroyEditor(QWidget *editor, const QModelIndex &index) const override
    {
        if (editor == m_editor)
            m_editor = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

private:
    RecordModel *m_model;
    mutable QPointer<QLineEdit> m_editor;
};

RecordGrid::RecordGrid(QWidget *parent)
    : QTableView(parent)
{
    setSelectionMode(SingleSelection);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setWordWrap(false);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setFixedWidth(12);
    const int rowHeight = fontMetrics().height() + 5;
    verticalHeader()->setMinimumSectionSize(rowHeight);
    verticalHeader()->setDefaultSectionSize(rowHeight);

    const QColor title = appearance::systemColor(QStringLiteral("clGradientInactiveCaption"));
    for (QHeaderView *header : {horizontalHeader(), verticalHeader()}) {
        QPalette palette = header->palette();
        palette.setColor(QPalette::Button, title);
        palette.setColor(QPalette::Window, title);
        header->setPalette(palette);
    }
    setRowSelect(false);
    connect(qApp, &QApplication::focusChanged, this, &RecordGrid::focusChanged);
}

void RecordGrid::setRowSelect(bool rowSelect)
{
    m_rowSelect = rowSelect;
    setSelectionBehavior(rowSelect ? SelectRows : SelectItems);
    // A click on the current cell opens it too (mousePressEvent), at once rather than after Qt's
    // wait for a double-click, during which a typed key would be lost.
    setEditTriggers(rowSelect ? NoEditTriggers : AnyKeyPressed | EditKeyPressed | DoubleClicked);
    if (m_model)
        m_model->setEditable(!rowSelect);

    // The editable grid keeps its current cell highlighted when it has no focus.
    QPalette palette = this->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        const QColor active = QApplication::palette().color(QPalette::Active, role);
        const QColor inactive = QApplication::palette().color(QPalette::Inactive, role);
        palette.setColor(QPalette::Inactive, role, rowSelect ? inactive : active);
    }
    setPalette(palette);
}

void RecordGrid::setSource(ViewSource *source)
{
    if (ViewSource *previous = this->source())
        previous->removeControl(this);
    QAbstractItemModel *old = model();
    m_model = new RecordModel(source, this);
    m_model->setEditable(!m_rowSelect);
    setModel(m_model);
    delete old;
    QAbstractItemDelegate *oldDelegate = itemDelegate();
    auto *delegate = new CellDelegate(m_model, this);
    setItemDelegate(delegate);
    delete oldDelegate;
    m_delegate = delegate;
    // A save started elsewhere (the navigator) takes what is typed into an open cell first.
    if (source)
        source->addControl(this, [this] { handOverOpenCell(); });
    // Once the record is saved or its changes dropped, an open cell has nothing left to hand over:
    // it closes, so that what it still shows cannot reach the record later.
    connect(source, &ViewSource::stateChanged, this, [this](RecordView::State state) {
        if (state == RecordView::State::Editing || state == RecordView::State::Inserting)
            return;
        if (QLineEdit *editor = m_delegate ? m_delegate->editor() : nullptr) {
            editor->setModified(false);
            closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
        }
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        sizeColumns();
        if (RecordView *view = openView())
            followCurrentRow(view->currentRow());
    });
    connect(source, &ViewSource::currentRowChanged, this, &RecordGrid::followCurrentRow);
    sizeColumns();
    if (RecordView *view = openView())
        followCurrentRow(view->currentRow());
}

RecordView *RecordGrid::openView() const
{
    return m_model ? m_model->view() : nullptr;
}

void RecordGrid::sizeColumns()
{
    // As wide as the field's usual text (long texts capped), never narrower than the title.
    const int digit = fontMetrics().horizontalAdvance(u'0');
    for (int column = 0; column < m_model->columnCount(); ++column) {
        const Field *field = m_model->field(column);
        int width = 10 * digit;
        if (field->kind == FieldKind::String && field->size > 0)
            width = qMin(field->size, 40) * digit;
        else if (field->kind == FieldKind::DateTime)
            width = 18 * digit;
        else if (field->kind == FieldKind::Memo)
            width = fontMetrics().horizontalAdvance(QStringLiteral("(WIDEMEMO)"));
        const int title = horizontalHeader()->fontMetrics().horizontalAdvance(field->fieldName);
        setColumnWidth(column, qMax(width, title) + 8);
    }
}

void RecordGrid::followCurrentRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const int column = qMax(currentIndex().column(), 0);
    if (currentIndex().row() == row && currentIndex().isValid())
        return;
    QScopedValueRollback following(m_following, true);
    setCurrentIndex(m_model->index(row, column));
}

void RecordGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    RecordView *view = openView();
    // Qt moves the current cell off a row being removed before the row count changes; the view has
    // numbered its rows anew by then and places its current record itself, which the grid follows.
    if (m_following || m_model->changingRows() || !view || !current.isValid() || current.row() == view->currentRow())
        return;
    // Leaving the record settles it first, as any move does; dropping an untouched new record
    // takes a row away, which the persistent index follows.
    const QPersistentModelIndex target(current);
    try {
        if (source()->editing()) {
            if (view->modified())
                view->post();
            else
                view->cancel();
        }
        if (target.isValid())
            view->setCurrentRow(target.row());
    } catch (const std::exception &) {
        // The record could not be saved: the grid stays on it, and the error is shown.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (RecordView *view = openView())
                    followCurrentRow(view->currentRow());
            },
            Qt::QueuedConnection);
        boxes::showEscapedError(this, std::current_exception());
    }
}

void RecordGrid::handOverOpenCell()
{
    if (QLineEdit *editor = m_delegate ? m_delegate->editor() : nullptr)
        commitData(editor);
}

void RecordGrid::deleteRecord()
{
    RecordView *view = source() ? source()->view() : nullptr;
    if (!view)
        return;
    if (!view->isActive())
        throw DatabaseError::closedDataset();
    if (!view->canModify() || view->recordCount() == 0)
        return;
    confirmDelete(*source(), this);
}

void RecordGrid::focusFirstEditableCell()
{
    RecordView *view = openView();
    if (!view || view->currentRow() < 0)
        return;
    const int row = view->currentRow();
    for (int visual = 0; visual < m_model->columnCount(); ++visual) {
        const int column = horizontalHeader()->logicalIndex(visual);
        const QModelIndex cell = m_model->index(row, column);
        if (!isColumnHidden(column) && (m_model->flags(cell) & Qt::ItemIsEditable)) {
            setCurrentIndex(cell);
            break;
        }
    }
    setFocus(Qt::OtherFocusReason);
}

void RecordGrid::keyPressEvent(QKeyEvent *event)
{
    boxes::runHandler(this, [this, event] { handleKey(event); });
}

void RecordGrid::handleKey(QKeyEvent *event)
{
    RecordView *view = openView();
    const bool editing = !m_rowSelect && view && view->canModify();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier));
    const bool untouchedInsert = view && view->state() == RecordView::State::Inserting && !view->modified();

    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        deleteRecord();
        return;
    }
    if (editing && plain) {
        // Keys that start a record leave the open cell: its text goes to the record it belongs to.
        switch (event->key()) {
        case Qt::Key_Insert:
            handOverOpenCell();
            view->insert();
            focusFirstEditableCell();
            return;
        case Qt::Key_Down:
            if (view->currentRow() >= view->recordCount() - 1) {
                handOverOpenCell();
                if (!(view->state() == RecordView::State::Inserting && !view->modified()))
                    view->insert();
                return;
            }
            break;
        case Qt::Key_Up:
            if (untouchedInsert) {
                view->cancel();
                return;
            }
            break;
        case Qt::Key_Escape:
            if (source()->editing()) {
                view->cancel();
                return;
            }
            break;
        default: break;
        }
    }
    QTableView::keyPressEvent(event);
}

void RecordGrid::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    alignTopRow();
}

void RecordGrid::updateGeometries()
{
    QTableView::updateGeometries();
    alignTopRow();
}

// At the end of its range Qt lines the last row up with the bottom edge, which tucks the top row
// partly under the title row. The grid starts with a whole row wherever it is scrolled; the range
// already leaves room for the last rows below it.
void RecordGrid::alignTopRow()
{
    if (verticalScrollMode() != ScrollPerItem)
        return;
    QHeaderView *rows = verticalHeader();
    const int top = rows->logicalIndex(verticalScrollBar()->value());
    if (top < 0)
        return;
    const int offset = rows->sectionPosition(top);
    if (rows->offset() == offset)
        return;
    rows->setOffset(offset);
    viewport()->update();
    updateEditorGeometries();
}

void RecordGrid::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex before = currentIndex();
    QTableView::mousePressEvent(event);
    if (m_rowSelect || event->button() != Qt::LeftButton || !before.isValid())
        return;
    if (indexAt(event->position().toPoint()) == before && currentIndex() == before)
        boxes::runHandler(this, [this, before] { edit(before); });
}

bool RecordGrid::viewportEvent(QEvent *event)
{
    // The grid's hint shows wherever the pointer rests on it, not only over cells.
    if (event->type() == QEvent::ToolTip && !toolTip().isEmpty()) {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), toolTip(), this, {}, toolTipDuration());
        return true;
    }
    return QTableView::viewportEvent(event);
}

bool RecordGrid::contains(const QWidget *widget) const
{
    return widget && (widget == this || isAncestorOf(widget));
}

// A bound box of the same view is where a new record gets filled in, not a way out of it.
bool RecordGrid::fillsSameView(const QWidget *widget) const
{
    if (const auto *edit = qobject_cast<const FieldEdit *>(widget))
        return edit->source() == source();
    if (const auto *memo = qobject_cast<const FieldMemo *>(widget))
        return memo->source() == source();
    return false;
}

void RecordGrid::focusChanged(QWidget *old, QWidget *now)
{
    // Leaving the grid for another control drops a new record nothing was typed into.
    if (!now || !contains(old) || contains(now) || fillsSameView(now))
        return;
    RecordView *view = openView();
    if (view && view->state() == RecordView::State::Inserting && !view->modified())
        boxes::runHandler(this, [view] { view->cancel(); });
}
