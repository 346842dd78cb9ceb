#include "FieldControls.h"

#include "DatabaseError.h"
#include "Handlers.h"
#include "Refusals.h"
#include "WindowLog.h"

#include <QKeyEvent>
#include <QScopedValueRollback>

FieldBinding::FieldBinding(std::function<QString()> controlText)
    : m_controlText(std::move(controlText))
{
}

void FieldBinding::setSource(ViewSource *source)
{
    if (m_source) {
        disconnect(m_source, nullptr, this, nullptr);
        m_source->removeControl(this);
    }
    m_source = source;
    if (source) {
        connect(source, &ViewSource::viewChanged, this, &FieldBinding::recordChanged);
        connect(source, &ViewSource::activeChanged, this, &FieldBinding::recordChanged);
        connect(source, &ViewSource::rowsReset, this, &FieldBinding::recordChanged);
        connect(source, &ViewSource::currentRowChanged, this, &FieldBinding::recordChanged);
        connect(source, &ViewSource::stateChanged, this, &FieldBinding::recordChanged);
        connect(source, &ViewSource::rowChanged, this, &FieldBinding::rowChanged);
        source->addControl(this, [this] { updateRecord(); });
    }
    recordChanged();
}

void FieldBinding::setFieldName(const QString &name)
{
    m_fieldName = name;
    recordChanged();
}

const Field *FieldBinding::field() const
{
    RecordView *view = m_source ? m_source->view() : nullptr;
    if (!view || !view->isActive())
        return nullptr;
    const int index = view->fieldIndex(m_fieldName);
    return index < 0 ? nullptr : &view->fields().at(index);
}

QString FieldBinding::fieldText() const
{
    const Field *field = this->field();
    if (!field)
        return {};
    // Rows the engine will not read now show as empty, as the grid's cells do.
    try {
        return m_source->view()->fieldByName(field->fieldName).toString();
    } catch (const DatabaseError &error) {
        qCInfo(windowLog) << "field not read:" << error.message();
        return {};
    }
}

bool FieldBinding::canModify() const
{
    const Field *field = this->field();
    return field && !field->readOnly && m_source->canModify();
}

bool FieldBinding::edit()
{
    if (!canModify())
        return false;
    QScopedValueRollback starting(m_startingEdit, true);
    if (!m_source->edit())
        return false;
    m_modified = true;
    return true;
}

void FieldBinding::updateRecord()
{
    const Field *field = this->field();
    if (!m_modified || !field)
        return;
    const QString text = m_controlText();
    // A text over the field's width is refused whole, never cut; it stays in the box to be mended.
    checkLength(*field, text);
    m_source->view()->setFieldValue(m_fieldName, text);
    m_modified = false;
}

void FieldBinding::reset()
{
    m_modified = false;
    emit dataChange();
}

void FieldBinding::recordChanged()
{
    // Starting the edit (a new record, for an empty view) must not wipe what was just typed.
    if (!m_startingEdit)
        reset();
}

void FieldBinding::rowChanged(int row)
{
    // Another control handing over its text changes the record too; what the user typed here and
    // has not handed over yet stays.
    if (!m_startingEdit && !m_modified && m_source->view() && row == m_source->view()->currentRow())
        emit dataChange();
}

BoundField::BoundField(std::function<QString()> controlText)
    : m_link(std::move(controlText))
{
}

void BoundField::handOver(QWidget *control)
{
    boxes::runHandler(control, [this] { m_link.updateRecord(); });
}

bool BoundField::undoneByEscape(const QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape || !m_link.modified())
        return false;
    m_link.reset();
    return true;
}

FieldEdit::FieldEdit(QWidget *parent)
    : QLineEdit(parent)
    , BoundField([this] { return text(); })
{
    connect(&m_link, &FieldBinding::dataChange, this, &FieldEdit::showField);
    connect(this, &QLineEdit::textEdited, this, boxes::guarded(this, [this] {
                if (!m_link.edit())
                    showField();
            }));
    showField();
}

void FieldEdit::showField()
{
    setReadOnly(!m_link.canModify());
    const QString text = m_link.fieldText();
    if (text != this->text())
        setText(text);
}

void FieldEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    handOver(this);
}

void FieldEdit::keyPressEvent(QKeyEvent *event)
{
    if (undoneByEscape(event)) {
        selectAll();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

FieldMemo::FieldMemo(QWidget *parent)
    : QPlainTextEdit(parent)
    , BoundField([this] { return toPlainText(); })
{
    connect(&m_link, &FieldBinding::dataChange, this, &FieldMemo::showField);
    connect(this, &QPlainTextEdit::textChanged, this, boxes::guarded(this, [this] {
                if (!m_showing && !m_link.edit())
                    showField();
            }));
    showField();
}

void FieldMemo::showField()
{
    QScopedValueRollback showing(m_showing, true);
    setReadOnly(!m_link.canModify());
    const QString text = m_link.fieldText();
    if (text != toPlainText())
        setPlainText(text);
}

void FieldMemo::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    handOver(this);
}

void FieldMemo::keyPressEvent(QKeyEvent *event)
{
    if (undoneByEscape(event))
        return;
    QPlainTextEdit::keyPressEvent(event);
}

FieldNumber::FieldNumber(QWidget *parent)
    : QSpinBox(parent)
    , BoundField([this] { return QString::number(value()); })
{
    connect(&m_link, &FieldBinding::dataChange, this, &FieldNumber::showField);
    connect(this, &QSpinBox::valueChanged, this, boxes::guarded(this, [this] {
                if (!m_showing && !m_link.edit())
                    showField();
            }));
    showField();
}

void FieldNumber::showField()
{
    QScopedValueRollback showing(m_showing, true);
    setReadOnly(!m_link.canModify());
    bool isNumber = false;
    const int number = m_link.fieldText().toInt(&isNumber);
    setValue(isNumber ? number : minimum());
}

void FieldNumber::focusOutEvent(QFocusEvent *event)
{
    QSpinBox::focusOutEvent(event);
    handOver(this);
}

void FieldNumber::keyPressEvent(QKeyEvent *event)
{
    if (undoneByEscape(event)) {
        selectAll();
        return;
    }
    QSpinBox::keyPressEvent(event);
}

FieldCheck::FieldCheck(QWidget *parent)
    : QCheckBox(parent)
    , BoundField([this] { return isChecked() ? QStringLiteral("1") : QStringLiteral("0"); })
{
    connect(&m_link, &FieldBinding::dataChange, this, &FieldCheck::showField);
    connect(this, &QCheckBox::clicked, this, boxes::guarded(this, [this] {
                if (!m_link.edit()) {
                    showField();
                    return;
                }
                m_link.updateRecord();
            }));
    showField();
}

void FieldCheck::showField()
{
    setEnabled(m_link.canModify());
    setChecked(m_link.fieldText().toInt() == 1);
}
