#include "RecordModel.h"

#include "DatabaseError.h"
#include "DateTimeText.h"
#include "WindowLog.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QScopedValueRollback>

namespace {

// The indicator column's marks: a triangle at the current record, an upright bar while it is
// edited, an asterisk while it is inserted.
QIcon indicator(RecordView::State state)
{
    QPixmap pixmap(10, 10);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::black);
    painter.setPen(Qt::NoPen);
    switch (state) {
    case RecordView::State::Editing:
        painter.drawRect(4, 1, 2, 8);
        painter.drawRect(2, 1, 6, 1);
        painter.drawRect(2, 8, 6, 1);
        break;
    case RecordView::State::Inserting:
        painter.setPen(QPen(Qt::black, 1.5));
        painter.drawLine(QPointF(5, 1), QPointF(5, 9));
        painter.drawLine(QPointF(1.5, 3), QPointF(8.5, 7));
        painter.drawLine(QPointF(1.5, 7), QPointF(8.5, 3));
        break;
    default: painter.drawPolygon(QPolygonF({QPointF(3, 1), QPointF(8, 5), QPointF(3, 9)})); break;
    }
    return QIcon(pixmap);
}

} // namespace

RecordModel::RecordModel(ViewSource *source, QObject *parent)
    : QAbstractTableModel(parent)
    , m_source(source)
{
    connect(source, &ViewSource::viewChanged, this, &RecordModel::reset);
    connect(source, &ViewSource::activeChanged, this, &RecordModel::reset);
    connect(source, &ViewSource::rowsReset, this, &RecordModel::reset);
    connect(source, &ViewSource::rowChanged, this, [this](int row) {
        if (row >= 0 && row < m_rows && m_columns > 0)
            emit dataChanged(index(row, 0), index(row, m_columns - 1));
    });
    connect(source, &ViewSource::rowInserted, this, [this](int row) {
        QScopedValueRollback changing(m_changingRows, true);
        beginInsertRows({}, row, row);
        ++m_rows;
        if (m_current >= row)
            ++m_current;
        endInsertRows();
    });
    connect(source, &ViewSource::rowRemoved, this, [this](int row) {
        QScopedValueRollback changing(m_changingRows, true);
        beginRemoveRows({}, row, row);
        --m_rows;
        if (m_current > row)
            --m_current;
        else if (m_current == row)
            m_current = -1;
        endRemoveRows();
    });
    connect(source, &ViewSource::currentRowChanged, this, &RecordModel::currentRowChanged);
    connect(source, &ViewSource::stateChanged, this, &RecordModel::stateChanged);
    reset();
}

RecordView *RecordModel::view() const
{
    RecordView *view = m_source ? m_source->view() : nullptr;
    return view && view->isActive() ? view : nullptr;
}

const Field *RecordModel::field(int column) const
{
    RecordView *view = this->view();
    if (!view || column < 0 || column >= m_columns)
        return nullptr;
    return &view->fields().at(column);
}

void RecordModel::reset()
{
    beginResetModel();
    RecordView *view = this->view();
    m_rows = view ? view->recordCount() : 0;
    m_columns = view ? int(view->fields().size()) : 0;
    m_current = view ? view->currentRow() : -1;
    endResetModel();
}

void RecordModel::currentRowChanged(int row)
{
    const int previous = std::exchange(m_current, row);
    if (previous >= 0 && previous < m_rows)
        emit headerDataChanged(Qt::Vertical, previous, previous);
    if (row >= 0 && row < m_rows)
        emit headerDataChanged(Qt::Vertical, row, row);
}

void RecordModel::stateChanged()
{
    if (m_current >= 0 && m_current < m_rows)
        emit headerDataChanged(Qt::Vertical, m_current, m_current);
}

int RecordModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RecordModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

void RecordModel::showValueAs(const QString &fieldName, const QString &stored, const QString &shown)
{
    m_shownValues.append({fieldName, stored, shown});
    if (m_rows > 0 && m_columns > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
}

// A long text shows its start in the grid: its first line that holds anything, at most
// MemoShownLength characters, "…" saying that more follows.
QString RecordModel::memoStart(const QString &text)
{
    constexpr qsizetype MemoShownLength = 40;
    static const QRegularExpression lineBreak(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}]"));
    const QString rest = text.trimmed();
    QString line = rest.section(lineBreak, 0, 0).trimmed();
    bool cut = line.size() < rest.size();
    if (line.size() > MemoShownLength) {
        line.truncate(line.at(MemoShownLength - 1).isHighSurrogate() ? MemoShownLength - 1 : MemoShownLength);
        cut = true;
    }
    return cut ? line + QStringLiteral("…") : line;
}

QString RecordModel::cellText(const Field &field, const QVariant &value)
{
    switch (field.kind) {
    case FieldKind::Memo: return memoStart(value.toString());
    case FieldKind::DateTime: {
        const QDateTime moment = value.toDateTime();
        return moment.isValid() ? formatGridDateTime(moment) : value.toString();
    }
    default: return value.toString();
    }
}

// Rows are read as the grid first shows them. A read the engine refuses (the file locked beyond
// the wait, a disk error) shows empty cells and is tried again at the next repaint; nothing may
// unwind through the grid's painting.
QVariant RecordModel::cellValue(const QModelIndex &index) const
{
    try {
        return view()->value(index.row(), index.column());
    } catch (const DatabaseError &error) {
        qCInfo(windowLog) << "rows not read:" << error.message();
        return {};
    }
}

QVariant RecordModel::data(const QModelIndex &index, int role) const
{
    const Field *field = this->field(index.column());
    if (!field || index.row() >= m_rows)
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        const QVariant value = cellValue(index);
        for (const ShownValue &shown : m_shownValues) {
            if (field->fieldName.compare(shown.fieldName, Qt::CaseInsensitive) == 0
                && value.typeId() == QMetaType::QString && value.toString() == shown.stored)
                return shown.shown;
        }
        return cellText(*field, value);
    }
    case Qt::EditRole: {
        const QVariant value = cellValue(index);
        return field->kind == FieldKind::DateTime ? QVariant(cellText(*field, value)) : value;
    }
    case Qt::TextAlignmentRole:
        switch (field->kind) {
        case FieldKind::AutoIncrement:
        case FieldKind::Integer:
        case FieldKind::Float: return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        default: return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        }
    default: return {};
    }
}

QVariant RecordModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        const Field *field = this->field(section);
        return field && role == Qt::DisplayRole ? QVariant(field->fieldName) : QVariant();
    }
    if (role == Qt::DecorationRole && section == m_current && view())
        return indicator(view()->state());
    return {};
}

Qt::ItemFlags RecordModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    const Field *field = this->field(index.column());
    if (m_editable && field && !field->readOnly && m_source->canModify())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool RecordModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const Field *field = this->field(index.column());
    if (role != Qt::EditRole || !field || index.row() != view()->currentRow())
        return false;
    view()->setFieldValue(field->fieldName, value);
    return true;
}
