#pragma once

#include <QComboBox>
#include <QFrame>
#include <QTabWidget>

// The window's plain controls where Qt's own lack something the form relies on.

// A page control whose tabs all have one fixed width.
class PageTabs : public QTabWidget
{
    Q_OBJECT
    Q_PROPERTY(int tabWidth READ tabWidth WRITE setTabWidth)
public:
    explicit PageTabs(QWidget *parent = nullptr);

    int tabWidth() const;
    void setTabWidth(int width);
};

// A panel that reports double-clicks on its own surface only: a double-click on a control lying
// on it (a label included, though labels pass their mouse events on) is not the panel's.
class ClickablePanel : public QFrame
{
    Q_OBJECT
public:
    using QFrame::QFrame;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

// A drop-down list that announces each drop-down before its list opens, so the list can be
// filled afresh; an error while filling keeps the list closed.
class DropDownList : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override;

signals:
    void dropDown();
};
