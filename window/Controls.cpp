#include "Controls.h"

#include <QMouseEvent>
#include <QTabBar>

namespace {

class FixedWidthTabBar : public QTabBar
{
public:
    using QTabBar::QTabBar;

    int width = 0;

protected:
    QSize tabSizeHint(int index) const override
    {
        QSize size = QTabBar::tabSizeHint(index);
        if (width > 0)
            size.setWidth(width);
        return size;
    }
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
};

} // namespace

PageTabs::PageTabs(QWidget *parent)
    : QTabWidget(parent)
{
    setTabBar(new FixedWidthTabBar(this));
}

int PageTabs::tabWidth() const
{
    return static_cast<FixedWidthTabBar *>(tabBar())->width;
}

void PageTabs::setTabWidth(int width)
{
    static_cast<FixedWidthTabBar *>(tabBar())->width = width;
    tabBar()->updateGeometry();
    tabBar()->adjustSize();
}

void ClickablePanel::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && !childAt(event->position().toPoint()))
        emit doubleClicked();
    QFrame::mouseDoubleClickEvent(event);
}

void DropDownList::showPopup()
{
    emit dropDown();
    QComboBox::showPopup();
}
