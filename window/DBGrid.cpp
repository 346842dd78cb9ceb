#include "DBGrid.h"

#include "db/DatabaseError.h"
#include "shell/MessageBoxes.h"
#include "window/Appearance.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace {

// The cell editor: at most as many characters as a text field takes, and typing puts the view
// into editing of the current record.
class CellDelegate : public QStyledItemDelegate
{
public:
    explicit CellDelegate(TDataSetModel *model, QObject *parent)
        : QStyledItemDelegate(parent)
        , m_model(model)
    {
    }

    // The editor open in the grid, if any.
    QLineEdit *editor() const { return m_editor; }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        auto *editor = new QLineEdit(parent);
        editor->setFrame(false);
        const TField *field = m_model->Field(index.column());
        if (field && field->Kind == TFieldKind::ftWideString && field->Size > 0)
            editor->setMaxLength(field->Size);
        TDataSource *source = m_model->DataSource();
        connect(editor, &QLineEdit::textEdited, source, [source] { source->Edit(); });
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
            model->setData(index, lineEdit->text());
            lineEdit->setModified(false);
        }
    }

private:
    TDataSetModel *m_model;
    mutable QPointer<QLineEdit> m_editor;
};

} // namespace

TDBGrid::TDBGrid(QWidget *parent)
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
    connect(qApp, &QApplication::focusChanged, this, &TDBGrid::focusChanged);
}

void TDBGrid::setRowSelect(bool rowSelect)
{
    m_rowSelect = rowSelect;
    setSelectionBehavior(rowSelect ? SelectRows : SelectItems);
    setEditTriggers(rowSelect ? NoEditTriggers : AnyKeyPressed | EditKeyPressed | SelectedClicked | DoubleClicked);
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

void TDBGrid::setDataSource(TDataSource *source)
{
    QAbstractItemModel *old = model();
    m_model = new TDataSetModel(source, this);
    m_model->setEditable(!m_rowSelect);
    setModel(m_model);
    delete old;
    QAbstractItemDelegate *oldDelegate = itemDelegate();
    auto *delegate = new CellDelegate(m_model, this);
    setItemDelegate(delegate);
    delete oldDelegate;
    // A save started elsewhere (the navigator) takes what is typed into an open cell first.
    connect(source, &TDataSource::updateData, this, [this, delegate] {
        if (QLineEdit *editor = delegate->editor())
            commitData(editor);
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        sizeColumns();
        if (TADODataSet *dataSet = openDataSet())
            followCurrentRow(dataSet->RecNo());
    });
    connect(source, &TDataSource::currentRowChanged, this, &TDBGrid::followCurrentRow);
    sizeColumns();
    if (TADODataSet *dataSet = openDataSet())
        followCurrentRow(dataSet->RecNo());
}

TADODataSet *TDBGrid::openDataSet() const
{
    return m_model ? m_model->DataSet() : nullptr;
}

void TDBGrid::sizeColumns()
{
    // As wide as the field's usual text (long texts capped), never narrower than the title.
    const int digit = fontMetrics().horizontalAdvance(u'0');
    for (int column = 0; column < m_model->columnCount(); ++column) {
        const TField *field = m_model->Field(column);
        int width = 10 * digit;
        if (field->Kind == TFieldKind::ftWideString && field->Size > 0)
            width = qMin(field->Size, 40) * digit;
        else if (field->Kind == TFieldKind::ftDateTime)
            width = 18 * digit;
        else if (field->Kind == TFieldKind::ftWideMemo)
            width = fontMetrics().horizontalAdvance(QStringLiteral("(WIDEMEMO)"));
        const int title = horizontalHeader()->fontMetrics().horizontalAdvance(field->FieldName);
        setColumnWidth(column, qMax(width, title) + 8);
    }
}

void TDBGrid::followCurrentRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const int column = qMax(currentIndex().column(), 0);
    if (currentIndex().row() == row && currentIndex().isValid())
        return;
    QScopedValueRollback following(m_following, true);
    setCurrentIndex(m_model->index(row, column));
}

void TDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    TADODataSet *dataSet = openDataSet();
    if (m_following || !dataSet || !current.isValid() || current.row() == dataSet->RecNo())
        return;
    // Leaving the record settles it first, as any move does; dropping an untouched new record
    // takes a row away, which the persistent index follows.
    const QPersistentModelIndex target(current);
    try {
        if (DataSource()->Editing()) {
            if (dataSet->Modified())
                dataSet->Post();
            else
                dataSet->Cancel();
        }
        if (target.isValid())
            dataSet->setRecNo(target.row());
    } catch (...) {
        // The record could not be saved: the grid stays on it, and the error goes on to the box.
        QMetaObject::invokeMethod(this, [this] {
            if (TADODataSet *dataSet = openDataSet())
                followCurrentRow(dataSet->RecNo());
        }, Qt::QueuedConnection);
        throw;
    }
}

void TDBGrid::DeleteRecord()
{
    TADODataSet *dataSet = DataSource() ? DataSource()->DataSet() : nullptr;
    if (!dataSet)
        return;
    if (!dataSet->Active())
        throw EDatabaseError::closedDataset();
    if (!dataSet->CanModify() || dataSet->RecordCount() == 0)
        return;
    if (shell::confirm(this, QStringLiteral("Delete record?")))
        dataSet->Delete();
}

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    TADODataSet *dataSet = openDataSet();
    const bool editing = !m_rowSelect && dataSet && dataSet->CanModify();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier));
    const bool untouchedInsert = dataSet && dataSet->State() == TDataSetState::dsInsert && !dataSet->Modified();

    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        DeleteRecord();
        return;
    }
    if (editing && plain) {
        switch (event->key()) {
        case Qt::Key_Insert:
            dataSet->Insert();
            return;
        case Qt::Key_Down:
            if (dataSet->RecNo() >= dataSet->RecordCount() - 1) {
                if (!untouchedInsert)
                    dataSet->Append();
                return;
            }
            break;
        case Qt::Key_Up:
            if (untouchedInsert) {
                dataSet->Cancel();
                return;
            }
            break;
        case Qt::Key_Escape:
            if (DataSource()->Editing()) {
                dataSet->Cancel();
                return;
            }
            break;
        default:
            break;
        }
    }
    QTableView::keyPressEvent(event);
}

bool TDBGrid::viewportEvent(QEvent *event)
{
    // The grid's hint shows wherever the pointer rests on it, not only over cells.
    if (event->type() == QEvent::ToolTip && !toolTip().isEmpty()) {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), toolTip(), this, {}, toolTipDuration());
        return true;
    }
    return QTableView::viewportEvent(event);
}

bool TDBGrid::contains(const QWidget *widget) const
{
    return widget && (widget == this || isAncestorOf(widget));
}

void TDBGrid::focusChanged(QWidget *old, QWidget *now)
{
    // Leaving the grid for another control drops a new record nothing was typed into.
    if (!now || !contains(old) || contains(now))
        return;
    TADODataSet *dataSet = openDataSet();
    if (dataSet && dataSet->State() == TDataSetState::dsInsert && !dataSet->Modified())
        dataSet->Cancel();
}
