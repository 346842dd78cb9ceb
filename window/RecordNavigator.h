#pragma once

#include "ViewSource.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>

class QToolButton;

// A record navigator: a row of ten equal buttons acting on the view of its data source, each
// enabled only where its action makes sense. Reached by Tab as one control: Left and Right pick a
// button, Space presses it. The buttons never take the focus, so a control being typed into
// keeps it (and hands over its text before the navigator saves).
class RecordNavigator : public QWidget
{
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };

    explicit RecordNavigator(QWidget *parent = nullptr);

    ViewSource *source() const { return m_source; }
    void setSource(ViewSource *source);

    // The button's action, as a click performs it; nothing while the view is closed, but for
    // Refresh when a reopen action is set.
    void click(RecordNavigator::Button button);
    // What Refresh does while the view is closed (the database could not be opened): try again.
    void setReopen(std::function<void()> reopen);
    QToolButton *button(RecordNavigator::Button button) const { return m_buttons.at(button); }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void updateButtons();
    void focusNewRecord();
    void setFocusedButton(int index);

    std::array<QToolButton *, 10> m_buttons{};
    QPointer<ViewSource> m_source;
    std::function<void()> m_reopen;
    int m_focused = RecordNavigator::First;
};
