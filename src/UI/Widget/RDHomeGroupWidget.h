#pragma once

#include "RDDevice.h"
#include "RDGroup.h"
#include "RDLocalize.h"
#include "VelmarObserver.h"

#include <QMutex>
#include <QStringList>
#include <QVector>
#include <QWidget>

class QLabel;
class QListWidget;

// The zone list of the main window: one line per group with its run state,
// and a detail panel for the selected group. Told of changes by the central
// object on worker threads; every change is carried over to the GUI thread as
// a queued call before a widget is touched.
class RDHomeGroupWidget : public QWidget, public RDLocalize, public VelmarObserver
{
    Q_OBJECT
public:
    explicit RDHomeGroupWidget(QWidget *parent = nullptr);
    ~RDHomeGroupWidget() override;

    // Reads the groups from the central object and rebuilds the list.
    void loadGroups();
    // Reads the selected group again and refreshes the detail panel.
    void reloadDetail();

    void languageChanged() override;

    void onNotifyDeviceStatusChanged(Velmar *velmar, QVector<RDDevice> devices) override;
    void onNotifyGroupStarted(Velmar *velmar, RDGroup group) override;
    void onNotifyGroupStopped(Velmar *velmar, RDGroup group) override;
    void onNotifyGroupPlayChanged(Velmar *velmar, RDGroup group) override;
    void onNotifyDataChanged(Velmar *velmar) override;

    // What the list shows (tests and the detail panel).
    int groupCount() const { return m_groups.size(); }
    QVector<RDGroup> groups() const { return m_groups; }
    QString lineText(int row) const;
    QString detailText() const;
    QStringList onlineNumbers() const;
    void selectRow(int row);

public Q_SLOTS:
    void updateGroupStarted(RDGroup group);
    void updateGroupStopped(RDGroup group);
    void updateNotifyDataChanged();
    void updateNotifyGroupPlayChanged(RDGroup group);
    void updateDeviceStatus();

private:
    bool onGuiThread() const;
    void replaceGroup(const RDGroup &group);
    void rebuildList();
    QString lineFor(const RDGroup &group) const;

    QListWidget *m_list;
    QLabel *m_detail;
    QVector<RDGroup> m_groups;

    mutable QMutex m_statusLock;
    QVector<RDDevice> m_onlineDevices;
};
