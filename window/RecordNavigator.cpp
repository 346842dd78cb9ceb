#include "RecordNavigator.h"

#include "Appearance.h"
#include "FieldControls.h"
#include "Handlers.h"
#include "MessageBoxes.h"
#include "RecordDeletion.h"
#include "RecordGrid.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolButton>

namespace {

struct ButtonInfo
{
    const char *name;
    const char16_t *hint;
};

constexpr std::array<ButtonInfo, 10> buttonInfo = {{
    {"RecordNavigator::First", u"第一条记录"},
    {"RecordNavigator::Prior", u"上一条记录"},
    {"RecordNavigator::Next", u"下一条记录"},
    {"RecordNavigator::Last", u"最后一条记录"},
    {"RecordNavigator::Insert", u"插入新记录"},
    {"RecordNavigator::Delete", u"删除当前记录"},
    {"RecordNavigator::Edit", u"编辑当前记录"},
    {"RecordNavigator::Post", u"确认编辑"},
    {"RecordNavigator::Cancel", u"取消编辑"},
    {"RecordNavigator::Refresh", u"刷新数据"},
}};

// The button's picture, drawn on a 16-pixel square.
QIcon glyph(RecordNavigator::Button button)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const QPolygonF left({QPointF(10, 3), QPointF(4, 8), QPointF(10, 13)});
    const QPolygonF right({QPointF(6, 3), QPointF(12, 8), QPointF(6, 13)});
    switch (button) {
    case RecordNavigator::First:
        p.drawRect(QRectF(3, 3, 2, 10));
        p.drawPolygon(left.translated(2, 0));
        break;
    case RecordNavigator::Prior: p.drawPolygon(left); break;
    case RecordNavigator::Next: p.drawPolygon(right); break;
    case RecordNavigator::Last:
        p.drawPolygon(right.translated(-2, 0));
        p.drawRect(QRectF(11, 3, 2, 10));
        break;
    case RecordNavigator::Insert:
        p.drawRect(QRectF(7, 3, 2, 10));
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case RecordNavigator::Delete: p.drawRect(QRectF(3, 7, 10, 2)); break;
    case RecordNavigator::Edit: p.drawPolygon(QPolygonF({QPointF(3, 11), QPointF(8, 5), QPointF(13, 11)})); break;
    case RecordNavigator::Post:
        p.setPen(QPen(Qt::black, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(3.5, 8.5), QPointF(6.5, 11.5), QPointF(12.5, 4.5)}));
        break;
    case RecordNavigator::Cancel:
        p.setPen(QPen(Qt::black, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4.5, 4.5), QPointF(11.5, 11.5));
        p.drawLine(QPointF(11.5, 4.5), QPointF(4.5, 11.5));
        break;
    case RecordNavigator::Refresh: {
        p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3.5, 3.5, 9, 9), 100 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawPolygon(QPolygonF({QPointF(7, 1), QPointF(11, 4), QPointF(7, 7)}));
        break;
    }
    }
    return QIcon(pixmap);
}

// A navigator button; shows the navigator's keyboard focus on itself when it is the one picked.
class NavButton : public QToolButton
{
public:
    using QToolButton::QToolButton;

    bool focusShown = false;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QToolButton::paintEvent(event);
        if (!focusShown)
            return;
        QStylePainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(3, 3, -3, -3);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }
};

} // namespace

RecordNavigator::RecordNavigator(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::TabFocus);
    for (int i = 0; i < int(m_buttons.size()); ++i) {
        const auto button = RecordNavigator::Button(i);
        auto *b = new NavButton(this);
        b->setObjectName(QLatin1String(buttonInfo[i].name));
        b->setToolTip(QString::fromUtf16(buttonInfo[i].hint));
        b->setToolTipDuration(appearance::hintDurationMs);
        b->setIcon(glyph(button));
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, boxes::guarded(this, [this, button] { click(button); }));
        m_buttons[i] = b;
    }
    updateButtons();
}

void RecordNavigator::setSource(ViewSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &ViewSource::viewChanged, this, &RecordNavigator::updateButtons);
        connect(source, &ViewSource::rowsReset, this, &RecordNavigator::updateButtons);
        connect(source, &ViewSource::activeChanged, this, &RecordNavigator::updateButtons);
        connect(source, &ViewSource::currentRowChanged, this, &RecordNavigator::updateButtons);
        connect(source, &ViewSource::stateChanged, this, &RecordNavigator::updateButtons);
        connect(source, &ViewSource::rowInserted, this, &RecordNavigator::updateButtons);
        connect(source, &ViewSource::rowRemoved, this, &RecordNavigator::updateButtons);
    }
    updateButtons();
}

void RecordNavigator::updateButtons()
{
    RecordView *view = m_source ? m_source->view() : nullptr;
    if (!view || !view->isActive()) {
        for (QToolButton *b : m_buttons)
            b->setEnabled(false);
        m_buttons[RecordNavigator::Refresh]->setEnabled(view && m_reopen);
        return;
    }
    const int count = view->recordCount();
    const int row = view->currentRow();
    const bool canModify = view->canModify();
    const bool editing = m_source->editing();
    const bool up = count > 0 && row > 0;
    const bool down = count > 0 && row < count - 1;
    m_buttons[RecordNavigator::First]->setEnabled(up);
    m_buttons[RecordNavigator::Prior]->setEnabled(up);
    m_buttons[RecordNavigator::Next]->setEnabled(down);
    m_buttons[RecordNavigator::Last]->setEnabled(down);
    m_buttons[RecordNavigator::Insert]->setEnabled(canModify);
    m_buttons[RecordNavigator::Refresh]->setEnabled(canModify);
    m_buttons[RecordNavigator::Edit]->setEnabled(canModify && !editing);
    m_buttons[RecordNavigator::Post]->setEnabled(editing);
    m_buttons[RecordNavigator::Cancel]->setEnabled(editing);
    m_buttons[RecordNavigator::Delete]->setEnabled(canModify && count > 0);
}

void RecordNavigator::click(RecordNavigator::Button button)
{
    RecordView *view = m_source ? m_source->view() : nullptr;
    if (view && !view->isActive() && button == RecordNavigator::Refresh && m_reopen)
        m_reopen();
    if (!view || !view->isActive())
        return;
    switch (button) {
    case RecordNavigator::Cancel: view->cancel(); return;
    case RecordNavigator::Delete: confirmDelete(*m_source, this); return;
    case RecordNavigator::Edit: view->edit(); return;
    default: break;
    }
    // Every other action saves or moves: what is typed into a bound control goes to the record first.
    m_source->updateRecord();
    switch (button) {
    case RecordNavigator::First: view->first(); break;
    case RecordNavigator::Prior: view->prior(); break;
    case RecordNavigator::Next: view->next(); break;
    case RecordNavigator::Last: view->last(); break;
    case RecordNavigator::Insert:
        view->insert();
        focusNewRecord();
        break;
    case RecordNavigator::Post: view->post(); break;
    case RecordNavigator::Refresh: view->refresh(); break;
    default: break;
    }
}

// The keyboard goes where the new record is filled in: the first cell the user may type into when
// an editable grid shows the view, otherwise the bound box of the view's earliest field.
void RecordNavigator::focusNewRecord()
{
    QWidget *top = window();
    const auto usable = [](const QWidget *widget) { return widget->isVisibleTo(widget->window()) && widget->isEnabled(); };
    for (RecordGrid *grid : top->findChildren<RecordGrid *>()) {
        if (grid->source() == m_source && !grid->rowSelect() && usable(grid)) {
            grid->focusFirstEditableCell();
            return;
        }
    }
    QWidget *first = nullptr;
    int firstField = 0;
    const auto consider = [&](QWidget *widget, const BoundField &bound, bool readOnly) {
        if (bound.source() != m_source || readOnly || !usable(widget))
            return;
        const int field = m_source->view()->fieldIndex(bound.dataField());
        if (field >= 0 && (!first || field < firstField)) {
            first = widget;
            firstField = field;
        }
    };
    for (FieldEdit *edit : top->findChildren<FieldEdit *>())
        consider(edit, *edit, edit->isReadOnly());
    for (FieldMemo *memo : top->findChildren<FieldMemo *>())
        consider(memo, *memo, memo->isReadOnly());
    if (first)
        first->setFocus(Qt::OtherFocusReason);
}

void RecordNavigator::setReopen(std::function<void()> reopen)
{
    m_reopen = std::move(reopen);
    updateButtons();
}

void RecordNavigator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Ten equal buttons; the pixels left over go to the first ones, one each.
    const int count = int(m_buttons.size());
    const int base = width() / count;
    const int extra = width() % count;
    int x = 0;
    for (int i = 0; i < count; ++i) {
        const int w = base + (i < extra ? 1 : 0);
        m_buttons[i]->setGeometry(x, 0, w, height());
        x += w;
    }
}

void RecordNavigator::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        updateButtons();
}

void RecordNavigator::setFocusedButton(int index)
{
    static_cast<NavButton *>(m_buttons[m_focused])->focusShown = false;
    m_buttons[m_focused]->update();
    m_focused = index;
    static_cast<NavButton *>(m_buttons[m_focused])->focusShown = hasFocus();
    m_buttons[m_focused]->update();
}

void RecordNavigator::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left: setFocusedButton(qMax(m_focused - 1, 0)); return;
    case Qt::Key_Right: setFocusedButton(qMin(m_focused + 1, int(m_buttons.size()) - 1)); return;
    case Qt::Key_Space:
        if (m_buttons[m_focused]->isEnabled())
            boxes::runHandler(this, [this] { click(RecordNavigator::Button(m_focused)); });
        return;
    default: QWidget::keyPressEvent(event);
    }
}

void RecordNavigator::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    setFocusedButton(m_focused);
}

void RecordNavigator::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    setFocusedButton(m_focused);
}
