#pragma once

#include <QComboBox>
#include <QFrame>
#include <QTabWidget>

// The window's plain controls where Qt's own lack something the form relies on.

// A page control whose tabs all have one fixed width.
class TPageControl : public QTabWidget
{
    Q_OBJECT
    Q_PROPERTY(int TabWidth READ TabWidth WRITE setTabWidth)
public:
    explicit TPageControl(QWidget *parent = nullptr);

    int TabWidth() const;
    void setTabWidth(int width);
};

// A panel that reports double-clicks on its own surface only: a double-click on a control lying
// on it (a label included, though labels pass their mouse events on) is not the panel's.
class TPanel : public QFrame
{
    Q_OBJECT
public:
    using QFrame::QFrame;

signals:
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

// A drop-down list that announces each drop-down before its list opens, so the list can be
// filled afresh; an error while filling keeps the list closed.
class TComboBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override;

signals:
    void DropDown();
};
