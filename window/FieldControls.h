#pragma once

#include "ViewSource.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSpinBox>

#include <functional>

class QKeyEvent;

// What a bound edit box and a bound multi-line box share: which field of which view they show,
// when to show it again, putting the view into editing when the user types, and handing the
// typed text to the record when the box is left or the record is about to be saved.
class FieldBinding : public QObject
{
    Q_OBJECT
public:
    // `controlText` reads the text the control holds.
    explicit FieldBinding(std::function<QString()> controlText);

    ViewSource *source() const { return m_source; }
    void setSource(ViewSource *source);
    const QString &fieldName() const { return m_fieldName; }
    void setFieldName(const QString &name);

    // The field in the open view; null when the view is closed or has no such field.
    const Field *field() const;
    // The field's value in the current record, as text; empty when there is none.
    QString fieldText() const;
    // Whether the user may type: the view is open and changeable and the field is not read-only.
    bool canModify() const;

    // The user changed the control's text. Puts the view into editing (without showing the field
    // again meanwhile); false when it cannot, and the control should show the field again.
    bool edit();
    bool modified() const { return m_modified; }
    // Hands the control's text to the record when the user changed it.
    void updateRecord();
    // Forgets the user's change and shows the field again.
    void reset();

signals:
    // The control should show FieldText() (and CanModify()).
    void dataChange();

private:
    void recordChanged();
    void rowChanged(int row);

    QPointer<ViewSource> m_source;
    QString m_fieldName;
    std::function<QString()> m_controlText;
    bool m_modified = false;
    bool m_startingEdit = false;
};

// What every bound control has: its binding, the field it shows (the `dataField` property the
// form sets) and the view's source, and the two ways typing leaves it.
class BoundField
{
public:
    QString dataField() const { return m_link.fieldName(); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    ViewSource *source() const { return m_link.source(); }
    void setSource(ViewSource *source) { m_link.setSource(source); }

protected:
    explicit BoundField(std::function<QString()> controlText);

    // Leaving the control hands what was typed to the record; a refusal shows in the error box.
    void handOver(QWidget *control);
    // Escape forgets what was typed and shows the field again; true when it did.
    bool undoneByEscape(const QKeyEvent *event);

    FieldBinding m_link;
};

// A bound edit box.
class FieldEdit : public QLineEdit, public BoundField
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)
public:
    explicit FieldEdit(QWidget *parent = nullptr);


protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showField();
};

// A bound multi-line box.
class FieldMemo : public QPlainTextEdit, public BoundField
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)
public:
    explicit FieldMemo(QWidget *parent = nullptr);


protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showField();

    bool m_showing = false;
};

// A bound number box: an integer field, shown as its number (an empty field as the lowest).
class FieldNumber : public QSpinBox, public BoundField
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)
public:
    explicit FieldNumber(QWidget *parent = nullptr);


protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showField();

    bool m_showing = false;
};

// A bound check box over a field holding 1 (checked) or 0. A click hands the choice to the record
// at once; it is saved with the record, as typed text is.
class FieldCheck : public QCheckBox, public BoundField
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)
public:
    explicit FieldCheck(QWidget *parent = nullptr);


private:
    void showField();
};
