#include "DataSource.h"

TDataSource::TDataSource(QObject *parent)
    : QObject(parent)
{
}

void TDataSource::setDataSet(TADODataSet *dataSet)
{
    if (m_dataSet == dataSet)
        return;
    if (m_dataSet)
        disconnect(m_dataSet, nullptr, this, nullptr);
    m_dataSet = dataSet;
    if (dataSet) {
        connect(dataSet, &TADODataSet::activeChanged, this, &TDataSource::activeChanged);
        connect(dataSet, &TADODataSet::currentRowChanged, this, &TDataSource::currentRowChanged);
        connect(dataSet, &TADODataSet::stateChanged, this, &TDataSource::stateChanged);
        connect(dataSet, &TADODataSet::rowsReset, this, &TDataSource::rowsReset);
        connect(dataSet, &TADODataSet::rowChanged, this, &TDataSource::rowChanged);
        connect(dataSet, &TADODataSet::rowInserted, this, &TDataSource::rowInserted);
        connect(dataSet, &TADODataSet::rowRemoved, this, &TDataSource::rowRemoved);
    }
    emit dataSetChanged();
}

bool TDataSource::CanModify() const
{
    return m_dataSet && m_dataSet->CanModify();
}

bool TDataSource::Editing() const
{
    return m_dataSet
        && (m_dataSet->State() == TDataSetState::dsEdit || m_dataSet->State() == TDataSetState::dsInsert);
}

bool TDataSource::Edit()
{
    if (Editing())
        return true;
    if (!m_autoEdit || !CanModify())
        return false;
    m_dataSet->Edit();
    return Editing();
}

void TDataSource::UpdateRecord()
{
    if (Editing())
        emit updateData();
}
