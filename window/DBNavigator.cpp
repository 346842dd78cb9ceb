#include "DBNavigator.h"

#include "shell/Handlers.h"
#include "shell/MessageBoxes.h"
#include "window/Appearance.h"

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
    {"nbFirst", u"第一条记录"},
    {"nbPrior", u"上一条记录"},
    {"nbNext", u"下一条记录"},
    {"nbLast", u"最后一条记录"},
    {"nbInsert", u"插入新记录"},
    {"nbDelete", u"删除当前记录"},
    {"nbEdit", u"编辑当前记录"},
    {"nbPost", u"确认编辑"},
    {"nbCancel", u"取消编辑"},
    {"nbRefresh", u"刷新数据"},
}};

// The button's picture, drawn on a 16-pixel square.
QIcon glyph(TNavigateBtn button)
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
    case nbFirst:
        p.drawRect(QRectF(3, 3, 2, 10));
        p.drawPolygon(left.translated(2, 0));
        break;
    case nbPrior:
        p.drawPolygon(left);
        break;
    case nbNext:
        p.drawPolygon(right);
        break;
    case nbLast:
        p.drawPolygon(right.translated(-2, 0));
        p.drawRect(QRectF(11, 3, 2, 10));
        break;
    case nbInsert:
        p.drawRect(QRectF(7, 3, 2, 10));
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case nbDelete:
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case nbEdit:
        p.drawPolygon(QPolygonF({QPointF(3, 11), QPointF(8, 5), QPointF(13, 11)}));
        break;
    case nbPost:
        p.setPen(QPen(Qt::black, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(3.5, 8.5), QPointF(6.5, 11.5), QPointF(12.5, 4.5)}));
        break;
    case nbCancel:
        p.setPen(QPen(Qt::black, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4.5, 4.5), QPointF(11.5, 11.5));
        p.drawLine(QPointF(11.5, 4.5), QPointF(4.5, 11.5));
        break;
    case nbRefresh: {
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

TDBNavigator::TDBNavigator(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::TabFocus);
    for (int i = 0; i < int(m_buttons.size()); ++i) {
        const auto button = TNavigateBtn(i);
        auto *b = new NavButton(this);
        b->setObjectName(QLatin1String(buttonInfo[i].name));
        b->setToolTip(QString::fromUtf16(buttonInfo[i].hint));
        b->setToolTipDuration(appearance::hintDurationMs);
        b->setIcon(glyph(button));
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, shell::guarded(this, [this, button] { BtnClick(button); }));
        m_buttons[i] = b;
    }
    updateButtons();
}

void TDBNavigator::setDataSource(TDataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &TDataSource::dataSetChanged, this, &TDBNavigator::updateButtons);
        connect(source, &TDataSource::rowsReset, this, &TDBNavigator::updateButtons);
        connect(source, &TDataSource::activeChanged, this, &TDBNavigator::updateButtons);
        connect(source, &TDataSource::currentRowChanged, this, &TDBNavigator::updateButtons);
        connect(source, &TDataSource::stateChanged, this, &TDBNavigator::updateButtons);
        connect(source, &TDataSource::rowInserted, this, &TDBNavigator::updateButtons);
        connect(source, &TDataSource::rowRemoved, this, &TDBNavigator::updateButtons);
    }
    updateButtons();
}

void TDBNavigator::updateButtons()
{
    TADODataSet *dataSet = m_source ? m_source->DataSet() : nullptr;
    if (!dataSet || !dataSet->Active()) {
        for (QToolButton *b : m_buttons)
            b->setEnabled(false);
        return;
    }
    const int count = dataSet->RecordCount();
    const int row = dataSet->RecNo();
    const bool canModify = dataSet->CanModify();
    const bool editing = m_source->Editing();
    const bool up = count > 0 && row > 0;
    const bool down = count > 0 && row < count - 1;
    m_buttons[nbFirst]->setEnabled(up);
    m_buttons[nbPrior]->setEnabled(up);
    m_buttons[nbNext]->setEnabled(down);
    m_buttons[nbLast]->setEnabled(down);
    m_buttons[nbInsert]->setEnabled(canModify);
    m_buttons[nbRefresh]->setEnabled(canModify);
    m_buttons[nbEdit]->setEnabled(canModify && !editing);
    m_buttons[nbPost]->setEnabled(editing);
    m_buttons[nbCancel]->setEnabled(editing);
    m_buttons[nbDelete]->setEnabled(canModify && count > 0);
}

void TDBNavigator::BtnClick(TNavigateBtn button)
{
    TADODataSet *dataSet = m_source ? m_source->DataSet() : nullptr;
    if (!dataSet || !dataSet->Active())
        return;
    switch (button) {
    case nbCancel:
        dataSet->Cancel();
        return;
    case nbDelete:
        if (shell::confirm(this, QStringLiteral("Delete record?")))
            dataSet->Delete();
        return;
    case nbEdit:
        dataSet->Edit();
        return;
    default:
        break;
    }
    // Every other action saves or moves: what is typed into a bound control goes to the record first.
    m_source->UpdateRecord();
    switch (button) {
    case nbFirst:
        dataSet->First();
        break;
    case nbPrior:
        dataSet->Prior();
        break;
    case nbNext:
        dataSet->Next();
        break;
    case nbLast:
        dataSet->Last();
        break;
    case nbInsert:
        dataSet->Insert();
        break;
    case nbPost:
        dataSet->Post();
        break;
    case nbRefresh:
        dataSet->Refresh();
        break;
    default:
        break;
    }
}

void TDBNavigator::resizeEvent(QResizeEvent *event)
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

void TDBNavigator::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        updateButtons();
}

void TDBNavigator::setFocusedButton(int index)
{
    static_cast<NavButton *>(m_buttons[m_focused])->focusShown = false;
    m_buttons[m_focused]->update();
    m_focused = index;
    static_cast<NavButton *>(m_buttons[m_focused])->focusShown = hasFocus();
    m_buttons[m_focused]->update();
}

void TDBNavigator::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        setFocusedButton(qMax(m_focused - 1, 0));
        return;
    case Qt::Key_Right:
        setFocusedButton(qMin(m_focused + 1, int(m_buttons.size()) - 1));
        return;
    case Qt::Key_Space:
        if (m_buttons[m_focused]->isEnabled())
            BtnClick(TNavigateBtn(m_focused));
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TDBNavigator::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    setFocusedButton(m_focused);
}

void TDBNavigator::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    setFocusedButton(m_focused);
}
