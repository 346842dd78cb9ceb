#pragma once

#include "window/DataSource.h"

#include <QPointer>
#include <QWidget>

#include <array>

class QToolButton;

enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };

// A record navigator: a row of ten equal buttons acting on the view of its data source, each
// enabled only where its action makes sense. Reached by Tab as one control: Left and Right pick a
// button, Space presses it. The buttons never take the focus, so a control being typed into
// keeps it (and hands over its text before the navigator saves).
class TDBNavigator : public QWidget
{
    Q_OBJECT
public:
    explicit TDBNavigator(QWidget *parent = nullptr);

    TDataSource *DataSource() const { return m_source; }
    void setDataSource(TDataSource *source);

    // The button's action, as a click performs it; nothing while the view is closed.
    void BtnClick(TNavigateBtn button);
    QToolButton *Button(TNavigateBtn button) const { return m_buttons.at(button); }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void updateButtons();
    void setFocusedButton(int index);

    std::array<QToolButton *, 10> m_buttons{};
    QPointer<TDataSource> m_source;
    int m_focused = nbFirst;
};
