#include "ViewSource.h"

ViewSource::ViewSource(QObject *parent)
    : QObject(parent)
{
}

void ViewSource::setView(RecordView *view)
{
    if (m_view == view)
        return;
    if (m_view)
        disconnect(m_view, nullptr, this, nullptr);
    m_view = view;
    if (view) {
        connect(view, &RecordView::activeChanged, this, &ViewSource::activeChanged);
        connect(view, &RecordView::currentRowChanged, this, &ViewSource::currentRowChanged);
        connect(view, &RecordView::stateChanged, this, &ViewSource::stateChanged);
        connect(view, &RecordView::rowsReset, this, &ViewSource::rowsReset);
        connect(view, &RecordView::rowChanged, this, &ViewSource::rowChanged);
        connect(view, &RecordView::rowInserted, this, &ViewSource::rowInserted);
        connect(view, &RecordView::rowRemoved, this, &ViewSource::rowRemoved);
        connect(view, &RecordView::rowInserted, this, &ViewSource::recordCountChanged);
        connect(view, &RecordView::rowRemoved, this, &ViewSource::recordCountChanged);
        connect(view, &RecordView::stateChanged, this, &ViewSource::recordCountChanged);
    }
    emit viewChanged();
}

bool ViewSource::canModify() const
{
    return m_view && m_view->canModify();
}

bool ViewSource::editing() const
{
    return m_view && (m_view->state() == RecordView::State::Editing || m_view->state() == RecordView::State::Inserting);
}

int ViewSource::savedRecordCount() const
{
    if (!m_view || !m_view->isActive())
        return 0;
    return m_view->recordCount() - (m_view->state() == RecordView::State::Inserting ? 1 : 0);
}

bool ViewSource::edit()
{
    if (editing())
        return true;
    if (!m_autoEdit || !canModify())
        return false;
    m_view->edit();
    return editing();
}

void ViewSource::updateRecord()
{
    if (!editing())
        return;
    // A copy: a hand-over may bind or let go of controls.
    const std::vector<Control> controls = m_controls;
    for (const Control &control : controls) {
        if (control.control)
            control.updateRecord();
    }
}

void ViewSource::addControl(QObject *control, std::function<void()> updateRecord)
{
    removeControl(control);
    m_controls.push_back({control, std::move(updateRecord)});
}

void ViewSource::removeControl(QObject *control)
{
    std::erase_if(m_controls, [control](const Control &c) { return !c.control || c.control == control; });
}
