#pragma once

#include "window/DataSource.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>

#include <functional>

// What a bound edit box and a bound multi-line box share: which field of which view they show,
// when to show it again, putting the view into editing when the user types, and handing the
// typed text to the record when the box is left or the record is about to be saved.
class TFieldDataLink : public QObject
{
    Q_OBJECT
public:
    // `controlText` reads the text the control holds.
    explicit TFieldDataLink(std::function<QString()> controlText);

    TDataSource *DataSource() const { return m_source; }
    void setDataSource(TDataSource *source);
    const QString &FieldName() const { return m_fieldName; }
    void setFieldName(const QString &name);

    // The field in the open view; null when the view is closed or has no such field.
    const TField *Field() const;
    // The field's value in the current record, as text; empty when there is none.
    QString FieldText() const;
    // Whether the user may type: the view is open and changeable and the field is not read-only.
    bool CanModify() const;
    // The most characters the field takes (0: no limit).
    int MaxLength() const;

    // The user changed the control's text. Puts the view into editing (without showing the field
    // again meanwhile); false when it cannot, and the control should show the field again.
    bool Edit();
    bool Modified() const { return m_modified; }
    // Hands the control's text to the record when the user changed it.
    void UpdateRecord();
    // Forgets the user's change and shows the field again.
    void Reset();

signals:
    // The control should show FieldText() (and CanModify(), MaxLength()).
    void dataChange();

private:
    void recordChanged();
    void rowChanged(int row);

    QPointer<TDataSource> m_source;
    QString m_fieldName;
    std::function<QString()> m_controlText;
    bool m_modified = false;
    bool m_startingEdit = false;
};

// A bound edit box.
class TDBEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QString DataField READ DataField WRITE setDataField)
public:
    explicit TDBEdit(QWidget *parent = nullptr);

    QString DataField() const { return m_link.FieldName(); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    TDataSource *DataSource() const { return m_link.DataSource(); }
    void setDataSource(TDataSource *source) { m_link.setDataSource(source); }

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showField();

    TFieldDataLink m_link;
};

// A bound multi-line box.
class TDBMemo : public QPlainTextEdit
{
    Q_OBJECT
    Q_PROPERTY(QString DataField READ DataField WRITE setDataField)
public:
    explicit TDBMemo(QWidget *parent = nullptr);

    QString DataField() const { return m_link.FieldName(); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    TDataSource *DataSource() const { return m_link.DataSource(); }
    void setDataSource(TDataSource *source) { m_link.setDataSource(source); }

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showField();

    TFieldDataLink m_link;
    bool m_showing = false;
};
