#pragma once

#include "RDDevice.h"
#include "RDGroup.h"
#include "RDLocalize.h"
#include "RDWidget.h"
#include "VelmarObserver.h"

#include <QString>
#include <QVector>

class RDDialog;
class RDGroupInfoWidget;
class RDGroupListItemWidget;
class RDGroupListWidget;
class RDLabel;
class RDPixmapButton;

// The home screen below the header bar: the column "All Zones" with its add
// button and the zone tiles on the left, the selected zone's detail panel on
// the right. It keeps the screen's copy of every zone, carries out what the
// operator does to a zone through the central object, and follows the
// central object's notifications.
//
// Tile actions name a tile, but the work is done by zone id: the id is read
// at once, and the zone is looked up again after every question, since the
// tiles may be rebuilt while a modal dialog runs. The detail panel keeps the
// operator's unsaved edits through notifications and reloads; a failed store
// keeps them too and says "Save Failure".
//
// Notifications arrive on the core's threads; each is re-posted by its slot
// name to the GUI thread before the zones, tiles or panel are touched.
class RDHomeGroupWidget : public RDWidget, public VelmarObserver, public RDLocalize
{
    Q_OBJECT
public:
    // `toastHost` shows the screen's short messages (the main window).
    explicit RDHomeGroupWidget(QWidget *parent = nullptr, RDDialog *toastHost = nullptr);
    ~RDHomeGroupWidget() override;

    // Fetches every zone and rebuilds tiles and panel; the panel keeps its
    // zone when that zone is still there, otherwise shows the first one.
    void loadGroups();
    // The header's Save Configure: validates and stores the panel's edits.
    void saveConfigure();
    // Before the program ends: stores the panel's edits without asking.
    void saveSilently();
    // Rebuilds the panel's source choices and shows the panel zone again,
    // read anew from the central object.
    void refreshInfo();

    const QVector<RDGroup> &groups() const { return m_groups; }
    RDGroupListWidget *listWidget() const { return m_list; }
    RDGroupInfoWidget *infoWidget() const { return m_info; }
    RDPixmapButton *addButton() const { return m_add; }
    RDLabel *titleLabel() const { return m_title; }
    RDWidget *leftColumn() const { return m_left; }

    void onNotifyDeviceStatusChanged(Velmar *velmar, QVector<RDDevice> devices) override;
    void onNotifyGroupStarted(Velmar *velmar, RDGroup group) override;
    void onNotifyGroupStopped(Velmar *velmar, RDGroup group) override;
    void onNotifyGroupPlayChanged(Velmar *velmar, RDGroup group) override;
    void onNotifyDataChanged(Velmar *velmar) override;

    void languageChanged() override;

public slots:
    void onClickAddGroup();
    void onClickGroupItemWidget(RDGroupListItemWidget *widget);
    void onClickGroupItemTop(RDGroupListItemWidget *widget);
    void onClickGroupItemStart(RDGroupListItemWidget *widget);
    void onClickGroupItemDelete(RDGroupListItemWidget *widget);
    void onClickGroupItemVideo(RDGroupListItemWidget *widget);
    void onClickGroupItemBackground(RDGroupListItemWidget *widget);

    void updateGroups();
    void updateGroupAdded(RDGroup group);
    void updateGroupUpdate(RDGroup group);
    void updateGroupDelete(RDGroup group);
    void updateGroupStarted(RDGroup group);
    void updateGroupStopped(RDGroup group);
    void updateNotifyDeviceStatusChanged(QVector<RDDevice> devices);
    void updateNotifyGroupPlayChanged(RDGroup group);
    void updateNotifyDataChanged();

    void onLocalCall();
    void onUpdateGroup();
    void onUpdateDevice(RDDevice device);
    void onChangeGroupMedia(RDGroup group, QString media, int position);
    void onUpdateGroupVolume(RDGroup group);

    // Asks "Delete Zone" and removes the zone with that id (a started zone
    // or one that is gone by then is left alone).
    void deleteGroupById(int id);
    // Opens the call to a conference from the PC.
    void callConference(const QString &conference);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    bool onGuiThread() const;
    int indexOf(int id) const;
    // The panel's zone and the zone the operator has edited from it.
    const RDGroup &panelGroup() const;
    // Stores `edited` over the panel zone; on success the screen shows the
    // stored zone, on failure the edits stay and "Save Failure" shows.
    bool storeEdits(RDGroup edited);
    // Stores pending edits of the panel zone (none for an empty panel).
    bool storePendingEdits();
    // Selects the tile of the zone with that id and shows the zone.
    void showGroup(int id);
    void showToast(const QString &key);
    void relayout();

    RDDialog *m_toastHost;
    RDWidget *m_left;
    RDLabel *m_title;
    RDPixmapButton *m_add;
    RDGroupListWidget *m_list;
    RDGroupInfoWidget *m_info;
    QVector<RDGroup> m_groups;
};
