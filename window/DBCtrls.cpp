#include "DBCtrls.h"

#include <QKeyEvent>
#include <QScopedValueRollback>

TFieldDataLink::TFieldDataLink(std::function<QString()> controlText)
    : m_controlText(std::move(controlText))
{
}

void TFieldDataLink::setDataSource(TDataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &TDataSource::dataSetChanged, this, &TFieldDataLink::recordChanged);
        connect(source, &TDataSource::activeChanged, this, &TFieldDataLink::recordChanged);
        connect(source, &TDataSource::rowsReset, this, &TFieldDataLink::recordChanged);
        connect(source, &TDataSource::currentRowChanged, this, &TFieldDataLink::recordChanged);
        connect(source, &TDataSource::stateChanged, this, &TFieldDataLink::recordChanged);
        connect(source, &TDataSource::rowChanged, this, &TFieldDataLink::rowChanged);
        connect(source, &TDataSource::updateData, this, &TFieldDataLink::UpdateRecord);
    }
    recordChanged();
}

void TFieldDataLink::setFieldName(const QString &name)
{
    m_fieldName = name;
    recordChanged();
}

const TField *TFieldDataLink::Field() const
{
    TADODataSet *dataSet = m_source ? m_source->DataSet() : nullptr;
    if (!dataSet || !dataSet->Active())
        return nullptr;
    const int index = dataSet->FieldIndex(m_fieldName);
    return index < 0 ? nullptr : &dataSet->Fields().at(index);
}

QString TFieldDataLink::FieldText() const
{
    const TField *field = Field();
    return field ? m_source->DataSet()->FieldByName(field->FieldName).toString() : QString();
}

bool TFieldDataLink::CanModify() const
{
    const TField *field = Field();
    return field && !field->ReadOnly && m_source->CanModify();
}

int TFieldDataLink::MaxLength() const
{
    const TField *field = Field();
    return field && field->Kind == TFieldKind::ftWideString ? field->Size : 0;
}

bool TFieldDataLink::Edit()
{
    if (!CanModify())
        return false;
    QScopedValueRollback starting(m_startingEdit, true);
    if (!m_source->Edit())
        return false;
    m_modified = true;
    return true;
}

void TFieldDataLink::UpdateRecord()
{
    if (!m_modified || !Field())
        return;
    m_source->DataSet()->setFieldValue(m_fieldName, m_controlText());
    m_modified = false;
}

void TFieldDataLink::Reset()
{
    m_modified = false;
    emit dataChange();
}

void TFieldDataLink::recordChanged()
{
    // Starting the edit (a new record, for an empty view) must not wipe what was just typed.
    if (!m_startingEdit)
        Reset();
}

void TFieldDataLink::rowChanged(int row)
{
    // Another control handing over its text changes the record too; what the user typed here and
    // has not handed over yet stays.
    if (!m_startingEdit && !m_modified && m_source->DataSet() && row == m_source->DataSet()->RecNo())
        emit dataChange();
}

TDBEdit::TDBEdit(QWidget *parent)
    : QLineEdit(parent)
    , m_link([this] { return text(); })
{
    connect(&m_link, &TFieldDataLink::dataChange, this, &TDBEdit::showField);
    connect(this, &QLineEdit::textEdited, this, [this] {
        if (!m_link.Edit())
            showField();
    });
    showField();
}

void TDBEdit::showField()
{
    const int maxLength = m_link.MaxLength();
    setMaxLength(maxLength > 0 ? maxLength : 32767);
    setReadOnly(!m_link.CanModify());
    const QString text = m_link.FieldText();
    if (text != this->text())
        setText(text);
}

void TDBEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    m_link.UpdateRecord();
}

void TDBEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_link.Modified()) {
        m_link.Reset();
        selectAll();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

TDBMemo::TDBMemo(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_link([this] { return toPlainText(); })
{
    connect(&m_link, &TFieldDataLink::dataChange, this, &TDBMemo::showField);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_showing && !m_link.Edit())
            showField();
    });
    showField();
}

void TDBMemo::showField()
{
    QScopedValueRollback showing(m_showing, true);
    setReadOnly(!m_link.CanModify());
    const QString text = m_link.FieldText();
    if (text != toPlainText())
        setPlainText(text);
}

void TDBMemo::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    m_link.UpdateRecord();
}

void TDBMemo::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_link.Modified()) {
        m_link.Reset();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
