#include "DataSetModel.h"

#include "window/DateTimeText.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace {

// The indicator column's marks: a triangle at the current record, an upright bar while it is
// edited, an asterisk while it is inserted.
QIcon indicator(TDataSetState state)
{
    QPixmap pixmap(10, 10);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::black);
    painter.setPen(Qt::NoPen);
    switch (state) {
    case TDataSetState::dsEdit:
        painter.drawRect(4, 1, 2, 8);
        painter.drawRect(2, 1, 6, 1);
        painter.drawRect(2, 8, 6, 1);
        break;
    case TDataSetState::dsInsert:
        painter.setPen(QPen(Qt::black, 1.5));
        painter.drawLine(QPointF(5, 1), QPointF(5, 9));
        painter.drawLine(QPointF(1.5, 3), QPointF(8.5, 7));
        painter.drawLine(QPointF(1.5, 7), QPointF(8.5, 3));
        break;
    default:
        painter.drawPolygon(QPolygonF({QPointF(3, 1), QPointF(8, 5), QPointF(3, 9)}));
        break;
    }
    return QIcon(pixmap);
}

} // namespace

TDataSetModel::TDataSetModel(TDataSource *source, QObject *parent)
    : QAbstractTableModel(parent)
    , m_source(source)
{
    connect(source, &TDataSource::dataSetChanged, this, &TDataSetModel::reset);
    connect(source, &TDataSource::activeChanged, this, &TDataSetModel::reset);
    connect(source, &TDataSource::rowsReset, this, &TDataSetModel::reset);
    connect(source, &TDataSource::rowChanged, this, [this](int row) {
        if (row >= 0 && row < m_rows && m_columns > 0)
            emit dataChanged(index(row, 0), index(row, m_columns - 1));
    });
    connect(source, &TDataSource::rowInserted, this, [this](int row) {
        beginInsertRows({}, row, row);
        ++m_rows;
        if (m_current >= row)
            ++m_current;
        endInsertRows();
    });
    connect(source, &TDataSource::rowRemoved, this, [this](int row) {
        beginRemoveRows({}, row, row);
        --m_rows;
        if (m_current > row)
            --m_current;
        else if (m_current == row)
            m_current = -1;
        endRemoveRows();
    });
    connect(source, &TDataSource::currentRowChanged, this, &TDataSetModel::currentRowChanged);
    connect(source, &TDataSource::stateChanged, this, &TDataSetModel::stateChanged);
    reset();
}

TADODataSet *TDataSetModel::DataSet() const
{
    TADODataSet *dataSet = m_source ? m_source->DataSet() : nullptr;
    return dataSet && dataSet->Active() ? dataSet : nullptr;
}

const TField *TDataSetModel::Field(int column) const
{
    TADODataSet *dataSet = DataSet();
    if (!dataSet || column < 0 || column >= m_columns)
        return nullptr;
    return &dataSet->Fields().at(column);
}

void TDataSetModel::reset()
{
    beginResetModel();
    TADODataSet *dataSet = DataSet();
    m_rows = dataSet ? dataSet->RecordCount() : 0;
    m_columns = dataSet ? int(dataSet->Fields().size()) : 0;
    m_current = dataSet ? dataSet->RecNo() : -1;
    endResetModel();
}

void TDataSetModel::currentRowChanged(int row)
{
    const int previous = std::exchange(m_current, row);
    if (previous >= 0 && previous < m_rows)
        emit headerDataChanged(Qt::Vertical, previous, previous);
    if (row >= 0 && row < m_rows)
        emit headerDataChanged(Qt::Vertical, row, row);
}

void TDataSetModel::stateChanged()
{
    if (m_current >= 0 && m_current < m_rows)
        emit headerDataChanged(Qt::Vertical, m_current, m_current);
}

int TDataSetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TDataSetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QString TDataSetModel::cellText(const TField &field, const QVariant &value)
{
    switch (field.Kind) {
    case TFieldKind::ftWideMemo:
        return value.isNull() ? QStringLiteral("(WideMemo)") : QStringLiteral("(WIDEMEMO)");
    case TFieldKind::ftDateTime: {
        const QDateTime moment = value.toDateTime();
        return moment.isValid() ? GridDateTimeText(moment) : value.toString();
    }
    default:
        return value.toString();
    }
}

QVariant TDataSetModel::data(const QModelIndex &index, int role) const
{
    const TField *field = Field(index.column());
    if (!field || index.row() >= m_rows)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cellText(*field, DataSet()->value(index.row(), index.column()));
    case Qt::EditRole: {
        const QVariant value = DataSet()->value(index.row(), index.column());
        return field->Kind == TFieldKind::ftDateTime ? QVariant(cellText(*field, value)) : value;
    }
    case Qt::TextAlignmentRole:
        switch (field->Kind) {
        case TFieldKind::ftAutoInc:
        case TFieldKind::ftInteger:
        case TFieldKind::ftFloat:
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        }
    default:
        return {};
    }
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        const TField *field = Field(section);
        return field && role == Qt::DisplayRole ? QVariant(field->FieldName) : QVariant();
    }
    if (role == Qt::DecorationRole && section == m_current && DataSet())
        return indicator(DataSet()->State());
    return {};
}

Qt::ItemFlags TDataSetModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    const TField *field = Field(index.column());
    if (m_editable && field && !field->ReadOnly && m_source->CanModify())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool TDataSetModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const TField *field = Field(index.column());
    if (role != Qt::EditRole || !field || index.row() != DataSet()->RecNo())
        return false;
    DataSet()->setFieldValue(field->FieldName, value);
    return true;
}
