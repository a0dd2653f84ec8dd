#pragma once

#include "RDGroup.h"

#include <QPoint>
#include <QScrollArea>
#include <QVector>

class QMenu;
class RDGroupListItemWidget;
class RDWidget;

// The home screen's column of zone tiles: keeps one tile per zone in the
// order given, marks the selected one, offers a context menu per tile and
// turns every tile action into a signal naming the tile.
class RDGroupListWidget : public QScrollArea
{
    Q_OBJECT
public:
    explicit RDGroupListWidget(QWidget *parent = nullptr);

    void setGroups(const QVector<RDGroup> &groups);
    void updateGroup(const RDGroup &group);
    void updateGroupVolume(const RDGroup &group);
    void updateDeviceStatus(const QVector<RDDevice> &devices);
    void removeGroup(const RDGroup &group);
    void moveToTop(const RDGroup &group);
    int nextSortIndex() const;
    void selectGroup(const RDGroup &group);
    void selectIndex(int index);
    void selectItem(RDGroupListItemWidget *item);

    const QVector<RDGroup> &groups() const { return m_groups; }
    const QVector<RDGroupListItemWidget *> &items() const { return m_items; }
    RDWidget *contentWidget() const { return m_content; }
    QMenu *contextMenu() const { return m_menu; }

signals:
    void clickGroupItemWidget(RDGroupListItemWidget *widget);
    void clickGroupItemTop(RDGroupListItemWidget *widget);
    void clickGroupItemStart(RDGroupListItemWidget *widget);
    void clickGroupItemDelete(RDGroupListItemWidget *widget);
    void clickGroupItemVideo(RDGroupListItemWidget *widget);
    void clickGroupItemBackground(RDGroupListItemWidget *widget);

public slots:
    void onClickTopItem();
    void onClickStartItem();
    void onClickDeleteItem();
    void onClickBackgroundItem();
    void onClickItemWidget(RDGroupListItemWidget *widget);
    void onRightClickItemWidget(RDGroupListItemWidget *widget, QPoint pos);
    void onClickItemStart(RDGroupListItemWidget *widget);
    void onClickItemDelete(RDGroupListItemWidget *widget);
    void onClickItemVideo(RDGroupListItemWidget *widget);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    int indexOf(int groupId) const;
    RDGroupListItemWidget *menuItem() const;
    void relayout();

    RDWidget *m_content = nullptr;
    QVector<RDGroup> m_groups;
    QVector<RDGroupListItemWidget *> m_items;
    QMenu *m_menu = nullptr;
    int m_menuGroupId = -1;
};
