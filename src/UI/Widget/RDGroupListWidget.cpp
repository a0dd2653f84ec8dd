#include "RDGroupListWidget.h"

#include "RDGroupListItemWidget.h"
#include "RDLocalize.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"

#include <QMenu>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

namespace {
const int kTileHeight = 120;
const int kTileStep = 122;
} // namespace

RDGroupListWidget::RDGroupListWidget(QWidget *parent)
    : QScrollArea(parent)
{
    setObjectName(QStringLiteral("RDGroupListWidget"));
    setStyleSheet(QStringLiteral("RDGroupListWidget#RDGroupListWidget{background-color:#ffffff;}"));
    setFrameShape(QFrame::NoFrame);
    m_content = new RDWidget(this);
    setWidget(m_content);
    setWidgetResizable(false);
}

void RDGroupListWidget::setGroups(const QVector<RDGroup> &groups)
{
    m_groups = groups;
    int i = 0;
    for (; i < m_items.size() && i < m_groups.size(); ++i)
        m_items[i]->setGroup(m_groups[i]);
    while (m_items.size() > m_groups.size()) {
        RDGroupListItemWidget *item = m_items.takeLast();
        item->setParent(nullptr);
        item->hide();
        delete item;
    }
    for (; i < m_groups.size(); ++i) {
        auto *item = new RDGroupListItemWidget(m_content);
        item->show();
        connect(item, &RDGroupListItemWidget::clicked, this, &RDGroupListWidget::onClickItemWidget);
        connect(item, &RDGroupListItemWidget::rightClicked, this, &RDGroupListWidget::onRightClickItemWidget);
        connect(item, &RDGroupListItemWidget::startClicked, this, &RDGroupListWidget::onClickItemStart);
        connect(item, &RDGroupListItemWidget::deleteClicked, this, &RDGroupListWidget::onClickItemDelete);
        connect(item, &RDGroupListItemWidget::videoClicked, this, &RDGroupListWidget::onClickItemVideo);
        item->setGroup(m_groups[i]);
        m_items.append(item);
    }
    relayout();
}

int RDGroupListWidget::indexOf(int groupId) const
{
    for (int i = 0; i < m_groups.size(); ++i)
        if (m_groups[i].id == groupId)
            return i;
    return -1;
}

void RDGroupListWidget::updateGroup(const RDGroup &group)
{
    const int i = indexOf(group.id);
    if (i < 0)
        return;
    m_groups[i] = group;
    if (i < m_items.size())
        m_items[i]->setGroup(group);
}

void RDGroupListWidget::updateGroupVolume(const RDGroup &group)
{
    const int i = indexOf(group.id);
    if (i < 0)
        return;
    m_groups[i].volume = group.volume;
    if (i < m_items.size())
        m_items[i]->group().volume = group.volume;
}

void RDGroupListWidget::updateDeviceStatus(const QVector<RDDevice> &devices)
{
    for (RDGroup &group : m_groups)
        group.updateDeviceStatus(devices);
    for (RDGroupListItemWidget *item : m_items)
        item->group().updateDeviceStatus(devices);
}

void RDGroupListWidget::removeGroup(const RDGroup &group)
{
    const int i = indexOf(group.id);
    if (i < 0)
        return;
    m_groups.removeAt(i);
    if (i < m_items.size()) {
        RDGroupListItemWidget *item = m_items.takeAt(i);
        item->setParent(nullptr);
        item->hide();
        delete item;
    }
    relayout();
}

void RDGroupListWidget::moveToTop(const RDGroup &group)
{
    const int i = indexOf(group.id);
    if (i < 0)
        return;
    RDGroup moved = m_groups[i];
    m_groups.removeAt(i);
    moved.sortIndex = group.sortIndex;
    m_groups.insert(0, moved);
    const QVector<RDGroup> groups = m_groups;
    setGroups(groups);
}

int RDGroupListWidget::nextSortIndex() const
{
    int largest = 0;
    for (const RDGroup &group : m_groups)
        largest = std::max(largest, group.sortIndex);
    return largest + 1;
}

void RDGroupListWidget::selectGroup(const RDGroup &group)
{
    for (RDGroupListItemWidget *item : m_items)
        item->setSelected(item->group().id == group.id);
}

void RDGroupListWidget::selectIndex(int index)
{
    for (int i = 0; i < m_items.size(); ++i)
        m_items[i]->setSelected(i == index);
}

void RDGroupListWidget::selectItem(RDGroupListItemWidget *item)
{
    for (RDGroupListItemWidget *each : m_items)
        each->setSelected(each == item);
}

RDGroupListItemWidget *RDGroupListWidget::menuItem() const
{
    // By the zone, not by the row: the list may be rebuilt while the menu
    // is open, and another zone may then sit in that row.
    for (RDGroupListItemWidget *item : m_items) {
        if (item->group().id == m_menuGroupId)
            return item;
    }
    return nullptr;
}

void RDGroupListWidget::onClickTopItem()
{
    if (RDGroupListItemWidget *item = menuItem())
        emit clickGroupItemTop(item);
}

void RDGroupListWidget::onClickStartItem()
{
    if (RDGroupListItemWidget *item = menuItem())
        emit clickGroupItemStart(item);
}

void RDGroupListWidget::onClickDeleteItem()
{
    if (RDGroupListItemWidget *item = menuItem())
        emit clickGroupItemDelete(item);
}

void RDGroupListWidget::onClickBackgroundItem()
{
    if (RDGroupListItemWidget *item = menuItem())
        emit clickGroupItemBackground(item);
}

void RDGroupListWidget::onClickItemWidget(RDGroupListItemWidget *widget)
{
    emit clickGroupItemWidget(widget);
}

void RDGroupListWidget::onRightClickItemWidget(RDGroupListItemWidget *widget, QPoint pos)
{
    if (m_menu) {
        m_menu->hide();
        delete m_menu;
        m_menu = nullptr;
    }
    m_menuGroupId = widget && m_items.contains(widget) ? widget->group().id : -1;
    m_menu = new QMenu(this);
    m_menu->addAction(RDLocalize::text(QStringLiteral("Top")), this, &RDGroupListWidget::onClickTopItem);
    m_menu->addSeparator();
    const bool started = widget && widget->group().started;
    m_menu->addAction(RDLocalize::text(started ? QStringLiteral("Stop") : QStringLiteral("Start")), this,
                      &RDGroupListWidget::onClickStartItem);
    m_menu->addSeparator();
    m_menu->addAction(RDLocalize::text(QStringLiteral("Delete")), this, &RDGroupListWidget::onClickDeleteItem);
    m_menu->addSeparator();
    m_menu->addAction(RDLocalize::text(QStringLiteral("Background")), this,
                      &RDGroupListWidget::onClickBackgroundItem);
    applyMenuStyle(m_menu);
    m_menu->move(widget ? widget->mapToGlobal(pos) : mapToGlobal(pos));
    m_menu->show();
}

void RDGroupListWidget::onClickItemStart(RDGroupListItemWidget *widget)
{
    emit clickGroupItemStart(widget);
}

void RDGroupListWidget::onClickItemDelete(RDGroupListItemWidget *widget)
{
    emit clickGroupItemDelete(widget);
}

void RDGroupListWidget::onClickItemVideo(RDGroupListItemWidget *widget)
{
    emit clickGroupItemVideo(widget);
}

void RDGroupListWidget::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    relayout();
}

void RDGroupListWidget::relayout()
{
    const QMargins margins = contentsMargins();
    int available = width() - margins.left() - margins.right();
    int tileWidth = width() - 10;
    if (verticalScrollBar()->isVisible()) {
        available -= verticalScrollBar()->width();
        tileWidth -= verticalScrollBar()->width();
    }
    const int n = m_items.size();
    // Only the size: the scroll area keeps the content where the operator
    // scrolled it, so a refreshed list does not jump back to the top.
    m_content->resize(available, n * kTileStep + 2);
    for (int i = 0; i < n; ++i)
        m_items[i]->setGeometry((available - tileWidth) / 2, 2 + i * kTileStep, tileWidth, kTileHeight);
}
