#include "RDOnvifListWidget.h"

#include "RDOnvifListItemWidget.h"
#include "RDWidget.h"

#include <QScrollBar>

RDOnvifListWidget::RDOnvifListWidget(QWidget *parent)
    : RDScrollArea(parent)
    , m_content(new RDWidget)
{
    m_content->setBackgroundColor(QColor(255, 255, 255));
    setWidget(m_content);
    setWidgetResizable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void RDOnvifListWidget::setDevices(const QVector<QOnvifDevice> &devices)
{
    m_devices = devices;
    for (int i = 0; i < m_devices.size(); ++i) {
        if (i < m_items.size()) {
            m_items[i]->setDevice(m_devices.at(i));
            continue;
        }
        auto *item = new RDOnvifListItemWidget(m_content);
        item->setDevice(m_devices.at(i));
        connect(item, &RDOnvifListItemWidget::clickItemWidget, this, &RDOnvifListWidget::clickItemWidget);
        item->show();
        m_items.append(item);
    }
    while (m_items.size() > m_devices.size()) {
        RDOnvifListItemWidget *item = m_items.takeLast();
        item->hide();
        item->setParent(nullptr);
        delete item;
    }
    relayoutItems();
}

void RDOnvifListWidget::setCurrentItem(RDOnvifListItemWidget *item)
{
    for (RDOnvifListItemWidget *each : qAsConst(m_items))
        each->setSelected(each == item);
}

void RDOnvifListWidget::resizeEvent(QResizeEvent *event)
{
    RDScrollArea::resizeEvent(event);
    relayoutItems();
}

void RDOnvifListWidget::relayoutItems()
{
    const int contentHeight = 92 * m_items.size() + 2;
    int width = viewport()->width();
    // The scroll bar takes its room only once the items outgrow the view.
    if (contentHeight > viewport()->height() && verticalScrollBar()->isHidden())
        width -= verticalScrollBar()->sizeHint().width();
    width = qMax(0, width);
    m_content->resize(width, contentHeight);
    for (int i = 0; i < m_items.size(); ++i)
        m_items[i]->setGeometry(0, 2 + 92 * i, width, 90);
}
