#include "RDHomeGroupWidget.h"

#include "PAAlertDialog.h"
#include "PAGroupCallDialog.h"
#include "RDDialog.h"
#include "RDGroupAddDialog.h"
#include "RDGroupBackgroundDialog.h"
#include "RDGroupInfoWidget.h"
#include "RDGroupListItemWidget.h"
#include "RDGroupListWidget.h"
#include "RDGroupStreamDialog.h"
#include "RDLabel.h"
#include "RDLog.h"
#include "RDPixmapButton.h"
#include "RDPixmapCache.h"
#include "Velmar.h"
#include "VelmarDB.h"

#include <QDateTime>
#include <QThread>

namespace {

const QColor kTheme(53, 141, 0);

Velmar *core()
{
    return Velmar::instance();
}

} // namespace

RDHomeGroupWidget::RDHomeGroupWidget(QWidget *parent, RDDialog *toastHost)
    : RDWidget(parent)
    , m_toastHost(toastHost)
    , m_left(new RDWidget(this))
    , m_title(new RDLabel(m_left))
    , m_add(new RDPixmapButton(m_left))
    , m_list(new RDGroupListWidget(m_left))
    , m_info(new RDGroupInfoWidget(this))
{
    qRegisterMetaType<RDGroup>("RDGroup");
    qRegisterMetaType<RDDevice>("RDDevice");
    qRegisterMetaType<QVector<RDDevice>>("QVector<RDDevice>");
    qRegisterMetaType<RDGroupListItemWidget *>("RDGroupListItemWidget*");
    initWidgetResources();
    setObjectName(QStringLiteral("RDHomeGroupWidget"));
    setBackgroundColor(Qt::white);
    m_left->setObjectName(QStringLiteral("allZones"));
    m_left->setBackgroundColor(Qt::white);
    m_left->setBorder(1, 2, kTheme);
    m_title->setTextColor(Qt::black);
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_add->setObjectName(QStringLiteral("addZone"));
    m_add->setPixmap(QStringLiteral(":/resources/add.svg"), 20);
    m_add->setCursor(Qt::PointingHandCursor);
    RDHomeGroupWidget::languageChanged();

    connect(m_add, &RDPixmapButton::clicked, this, &RDHomeGroupWidget::onClickAddGroup);
    connect(m_list, &RDGroupListWidget::clickGroupItemWidget, this, &RDHomeGroupWidget::onClickGroupItemWidget);
    connect(m_list, &RDGroupListWidget::clickGroupItemTop, this, &RDHomeGroupWidget::onClickGroupItemTop);
    connect(m_list, &RDGroupListWidget::clickGroupItemStart, this, &RDHomeGroupWidget::onClickGroupItemStart);
    // The delete button sits on the tile that goes: the slot reads the
    // zone id at once and defers the rest until the tile's event is over.
    connect(m_list, &RDGroupListWidget::clickGroupItemDelete, this, &RDHomeGroupWidget::onClickGroupItemDelete);
    connect(m_list, &RDGroupListWidget::clickGroupItemVideo, this, &RDHomeGroupWidget::onClickGroupItemVideo);
    connect(m_list, &RDGroupListWidget::clickGroupItemBackground, this,
            &RDHomeGroupWidget::onClickGroupItemBackground);
    connect(m_info, &RDGroupInfoWidget::requestLocalCall, this, &RDHomeGroupWidget::onLocalCall);
    connect(m_info, &RDGroupInfoWidget::requestUpdateGroup, this, &RDHomeGroupWidget::onUpdateGroup);
    connect(m_info, &RDGroupInfoWidget::requestUpdateDevice, this, &RDHomeGroupWidget::onUpdateDevice);
    connect(m_info, &RDGroupInfoWidget::requestChangeMedia, this, &RDHomeGroupWidget::onChangeGroupMedia);
    connect(m_info, &RDGroupInfoWidget::requestUpdateGroupVolume, this, &RDHomeGroupWidget::onUpdateGroupVolume);

    if (Velmar *velmar = core())
        velmar->addObserver(this);
}

RDHomeGroupWidget::~RDHomeGroupWidget()
{
    // Removal waits for a notification in progress, so none reaches this
    // object once it is gone; queued calls still pending are dropped by Qt.
    if (Velmar *velmar = core())
        velmar->removeObserver(this);
}

bool RDHomeGroupWidget::onGuiThread() const
{
    return QThread::currentThread() == thread();
}

int RDHomeGroupWidget::indexOf(int id) const
{
    for (int i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i].id == id)
            return i;
    }
    return -1;
}

const RDGroup &RDHomeGroupWidget::panelGroup() const
{
    return m_info->group();
}

void RDHomeGroupWidget::showToast(const QString &key)
{
    RDDialog *host = m_toastHost ? m_toastHost : qobject_cast<RDDialog *>(window());
    if (host)
        host->showToast(RDLocalize::text(key), Qt::AlignBottom | Qt::AlignHCenter, 5, 5);
    else
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "%s\n", qPrintable(key));
}

bool RDHomeGroupWidget::storeEdits(RDGroup edited)
{
    Velmar *velmar = core();
    if (!velmar || !velmar->updateGroup(panelGroup(), edited)) {
        showToast(QStringLiteral("Save Failure"));
        return false;
    }
    updateGroupUpdate(edited);
    return true;
}

bool RDHomeGroupWidget::storePendingEdits()
{
    if (panelGroup().id <= 0)
        return true;
    const RDGroup edited = m_info->readGroup();
    if (!m_info->isChanged(edited))
        return true;
    return storeEdits(edited);
}

void RDHomeGroupWidget::showGroup(int id)
{
    const int i = indexOf(id);
    if (i < 0)
        return;
    m_list->selectGroup(m_groups[i]);
    m_info->setGroup(m_groups[i]);
}

// -- Loading and saving ----------------------------------------------------------

void RDHomeGroupWidget::loadGroups()
{
    Velmar *velmar = core();
    m_groups = velmar ? velmar->getGroups() : QVector<RDGroup>();
    updateGroups();
}

void RDHomeGroupWidget::updateGroups()
{
    m_list->setGroups(m_groups);
    if (m_groups.isEmpty()) {
        m_info->setGroup(RDGroup());
        m_list->selectIndex(-1);
    } else if (indexOf(panelGroup().id) >= 0) {
        // The panel keeps its zone (and any unsaved edits of it).
        showGroup(panelGroup().id);
    } else {
        m_list->selectIndex(0);
        m_info->setGroup(m_groups.first());
    }
    relayout();
}

void RDHomeGroupWidget::saveConfigure()
{
    const RDGroup edited = m_info->readGroup();
    if (panelGroup().id <= 0 || !m_info->isChanged(edited)) {
        showToast(QStringLiteral("Save Success"));
        return;
    }
    if (!VelmarDB::isValidConference(edited.conference)) {
        showToast(QStringLiteral("Conference is invalid"));
        return;
    }
    if (storeEdits(edited))
        showToast(QStringLiteral("Save Success"));
}

void RDHomeGroupWidget::saveSilently()
{
    const RDGroup edited = m_info->readGroup();
    if (edited.id > 0 && m_info->isChanged(edited)) {
        RDGroup stored = edited;
        if (Velmar *velmar = core())
            velmar->updateGroup(panelGroup(), stored);
    }
}

void RDHomeGroupWidget::refreshInfo()
{
    if (Velmar *velmar = core()) {
        const RDGroup fresh = velmar->getGroupById(panelGroup().id);
        if (fresh.isValid()) {
            const int i = indexOf(fresh.id);
            if (i >= 0)
                m_groups[i] = fresh;
            m_list->updateGroup(fresh);
            // The fresh record is the panel's new baseline; unsaved edits stay.
            m_info->setGroup(fresh);
        }
    }
    m_info->reloadSources();
}

// -- Tile actions ------------------------------------------------------------------

void RDHomeGroupWidget::onClickAddGroup()
{
    RDGroup group;
    group.source = QStringLiteral("media");
    group.volume = 0;
    group.mediumLoopType = QStringLiteral("list");
    group.sortIndex = m_list->nextSortIndex();
    RDGroupAddDialog dialog(window());
    dialog.setGroup(group);
    dialog.centerOn(window());
    if (dialog.exec() != QDialog::Accepted)
        return;
    RDGroup added = dialog.group();
    Velmar *velmar = core();
    const int id = velmar ? velmar->addGroup(added) : 0;
    if (id <= 0)
        showToast(QStringLiteral("Save Failure"));
    loadGroups();
    // The new zone comes up in the panel, as a tile click would show it.
    if (id > 0 && panelGroup().id != id && storePendingEdits())
        showGroup(id);
}

void RDHomeGroupWidget::onClickGroupItemWidget(RDGroupListItemWidget *widget)
{
    if (!widget || widget->isSelected())
        return;
    const int id = widget->group().id;
    if (!storePendingEdits())
        return;
    showGroup(id);
}

void RDHomeGroupWidget::onClickGroupItemTop(RDGroupListItemWidget *widget)
{
    if (!widget)
        return;
    const int i = indexOf(widget->group().id);
    if (i < 0)
        return;
    RDGroup moved = m_groups[i];
    moved.sortIndex = m_list->nextSortIndex();
    m_list->moveToTop(moved);
    m_list->selectGroup(panelGroup());
    // The screen's copy takes the new order too, so that a later rebuild
    // from it keeps the tile on top.
    m_groups[i].sortIndex = moved.sortIndex;
    VelmarDB::sortGroups(m_groups);
    if (panelGroup().id == moved.id)
        m_info->group().sortIndex = moved.sortIndex;
    if (Velmar *velmar = core())
        velmar->updateGroupSortIndex(moved);
}

void RDHomeGroupWidget::onClickGroupItemStart(RDGroupListItemWidget *widget)
{
    if (!widget)
        return;
    const int i = indexOf(widget->group().id);
    const RDGroup group = i >= 0 ? m_groups[i] : widget->group();
    Velmar *velmar = core();
    if (!velmar)
        return;
    if (group.started) {
        velmar->stopGroup(group, QString());
        return;
    }
    RDGroup toStart = group;
    const RDGroup edited = m_info->readGroup();
    if (edited.id == group.id && m_info->isChanged(edited)) {
        if (!storeEdits(edited))
            return;
        toStart = panelGroup();
    }
    if (toStart.isPraySource()) {
        showToast(QStringLiteral("Can not start pray manually"));
        return;
    }
    velmar->startGroup(toStart);
}

void RDHomeGroupWidget::onClickGroupItemDelete(RDGroupListItemWidget *widget)
{
    if (!widget)
        return;
    const int id = widget->group().id;
    QMetaObject::invokeMethod(this, [this, id] { deleteGroupById(id); }, Qt::QueuedConnection);
}

void RDHomeGroupWidget::deleteGroupById(int id)
{
    int i = indexOf(id);
    if (i < 0 || m_groups[i].started)
        return;
    PAAlertDialog alert(window());
    alert.setMessage(RDLocalize::text(QStringLiteral("Delete Zone")));
    alert.centerOn(window());
    if (alert.exec() != QDialog::Accepted)
        return;
    // The zones may have changed while the question was open.
    i = indexOf(id);
    if (i < 0 || m_groups[i].started)
        return;
    const RDGroup group = m_groups[i];
    if (Velmar *velmar = core()) {
        if (!velmar->removeGroup(group))
            showToast(QStringLiteral("Delete Failure"));
    }
    loadGroups();
}

void RDHomeGroupWidget::onClickGroupItemVideo(RDGroupListItemWidget *widget)
{
    if (!widget)
        return;
    const int i = indexOf(widget->group().id);
    if (i < 0)
        return;
    RDGroupStreamDialog dialog(window());
    connect(&dialog, &RDGroupStreamDialog::speakRequested, this, &RDHomeGroupWidget::callConference);
    dialog.setGroup(m_groups[i]);
    dialog.play();
    dialog.exec();
}

void RDHomeGroupWidget::onClickGroupItemBackground(RDGroupListItemWidget *widget)
{
    if (!widget)
        return;
    const int id = widget->group().id;
    int i = indexOf(id);
    if (i < 0)
        return;
    const RDGroup &group = m_groups[i];
    const QString current = group.backgroundImage.isEmpty()
                                ? QString()
                                : QStringLiteral("%1/%2").arg(Velmar::backgroundDir(), group.backgroundImage);
    RDGroupBackgroundDialog dialog(window());
    dialog.setBackground(group.backgroundType, current, group.backgroundMainStream, group.backgroundSubStream);
    dialog.centerOn(window());
    if (dialog.exec() != QDialog::Accepted)
        return;
    i = indexOf(id);
    Velmar *velmar = core();
    if (i < 0 || !velmar)
        return;
    RDGroup changed = m_groups[i];
    changed.backgroundType = dialog.backgroundType();
    changed.backgroundMainStream = dialog.mainStream();
    changed.backgroundSubStream = dialog.subStream();
    if (!velmar->storeGroupBackground(changed, dialog.imagePath())) {
        showToast(QStringLiteral("Save Failure"));
        return;
    }
    updateGroupUpdate(changed);
}

// -- Detail panel requests ------------------------------------------------------------

void RDHomeGroupWidget::onLocalCall()
{
    QString conference = panelGroup().conference;
    const RDGroup edited = m_info->readGroup();
    if (panelGroup().id > 0 && m_info->isChanged(edited)) {
        if (!storeEdits(edited))
            return;
        conference = panelGroup().conference;
    }
    callConference(conference);
}

void RDHomeGroupWidget::callConference(const QString &conference)
{
    PAGroupCallDialog dialog(window());
    dialog.setNumber(conference);
    dialog.centerOn(window());
    dialog.startCallThread();
    dialog.exec();
}

void RDHomeGroupWidget::onUpdateGroup()
{
    if (panelGroup().id <= 0)
        return;
    storeEdits(m_info->readGroup());
}

void RDHomeGroupWidget::onUpdateDevice(RDDevice device)
{
    if (Velmar *velmar = core())
        velmar->updateDevice(device);
}

void RDHomeGroupWidget::onChangeGroupMedia(RDGroup group, QString media, int position)
{
    if (Velmar *velmar = core())
        velmar->changeGroupMedia(group, media, position);
}

void RDHomeGroupWidget::onUpdateGroupVolume(RDGroup group)
{
    const int i = indexOf(group.id);
    if (i >= 0)
        m_groups[i].volume = group.volume;
    m_list->updateGroupVolume(group);
    if (Velmar *velmar = core())
        velmar->updateGroupVolume(group);
}

// -- Notifications -------------------------------------------------------------------

// Each notification goes to its update slot, which re-posts itself by name
// when it is called off the GUI thread.
void RDHomeGroupWidget::onNotifyDeviceStatusChanged(Velmar *, QVector<RDDevice> devices)
{
    updateNotifyDeviceStatusChanged(devices);
}

void RDHomeGroupWidget::onNotifyGroupStarted(Velmar *, RDGroup group)
{
    updateGroupStarted(group);
}

void RDHomeGroupWidget::onNotifyGroupStopped(Velmar *, RDGroup group)
{
    updateGroupStopped(group);
}

void RDHomeGroupWidget::onNotifyGroupPlayChanged(Velmar *, RDGroup group)
{
    updateNotifyGroupPlayChanged(group);
}

void RDHomeGroupWidget::onNotifyDataChanged(Velmar *)
{
    updateNotifyDataChanged();
}

void RDHomeGroupWidget::updateGroupUpdate(RDGroup group)
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateGroupUpdate", Qt::QueuedConnection, Q_ARG(RDGroup, group));
        return;
    }
    for (RDGroup &known : m_groups) {
        if (known.id == group.id)
            known = group;
    }
    m_list->updateGroup(group);
    if (panelGroup().id == group.id)
        m_info->setGroup(group);
}

void RDHomeGroupWidget::updateGroupStarted(RDGroup group)
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateGroupStarted", Qt::QueuedConnection, Q_ARG(RDGroup, group));
        return;
    }
    updateGroupUpdate(group);
}

void RDHomeGroupWidget::updateGroupStopped(RDGroup group)
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateGroupStopped", Qt::QueuedConnection, Q_ARG(RDGroup, group));
        return;
    }
    updateGroupUpdate(group);
}

void RDHomeGroupWidget::updateNotifyGroupPlayChanged(RDGroup group)
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateNotifyGroupPlayChanged", Qt::QueuedConnection,
                                  Q_ARG(RDGroup, group));
        return;
    }
    const int i = indexOf(group.id);
    if (i < 0)
        return;
    m_groups[i].setPlayStatus(group.playIndex, group.playPosition, group.prayType);
    m_list->updateGroup(m_groups[i]);
    if (panelGroup().id == group.id)
        m_info->setGroup(m_groups[i]);
}

void RDHomeGroupWidget::updateNotifyDeviceStatusChanged(QVector<RDDevice> devices)
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateNotifyDeviceStatusChanged", Qt::QueuedConnection,
                                  Q_ARG(QVector<RDDevice>, devices));
        return;
    }
    for (RDGroup &group : m_groups)
        group.updateDeviceStatus(devices);
    m_list->updateDeviceStatus(devices);
    m_info->updateDeviceStatus(devices);
}

void RDHomeGroupWidget::updateNotifyDataChanged()
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateNotifyDataChanged", Qt::QueuedConnection);
        return;
    }
    loadGroups();
}

void RDHomeGroupWidget::updateGroupAdded(RDGroup group)
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateGroupAdded", Qt::QueuedConnection, Q_ARG(RDGroup, group));
        return;
    }
    if (indexOf(group.id) >= 0)
        return;
    m_groups.append(group);
    VelmarDB::sortGroups(m_groups);
    m_list->setGroups(m_groups);
    if (panelGroup().id > 0) {
        m_list->selectGroup(panelGroup());
    } else {
        // The first zone of an empty screen comes up in the panel.
        showGroup(group.id);
    }
    relayout();
}

void RDHomeGroupWidget::updateGroupDelete(RDGroup group)
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "updateGroupDelete", Qt::QueuedConnection, Q_ARG(RDGroup, group));
        return;
    }
    const int i = indexOf(group.id);
    if (i < 0)
        return;
    m_groups.removeAt(i);
    m_list->removeGroup(group);
    if (panelGroup().id == group.id) {
        if (m_groups.isEmpty()) {
            m_info->setGroup(RDGroup());
        } else {
            m_list->selectIndex(0);
            m_info->setGroup(m_groups.first());
        }
    }
    relayout();
}

// -- Look ---------------------------------------------------------------------------

void RDHomeGroupWidget::languageChanged()
{
    m_add->setToolTip(RDLocalize::text(QStringLiteral("Add Zone")));
    m_title->setText(RDLocalize::text(QStringLiteral("All Zones")));
}

void RDHomeGroupWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    relayout();
}

void RDHomeGroupWidget::relayout()
{
    // Nothing to edit until there is a zone: the empty panel is greyed.
    m_info->setEnabled(!m_groups.isEmpty());
    // The column widens when the tiles need a scroll bar.
    const int w = m_groups.size() * 125 + 5 > height() ? 210 : 190;
    m_left->setGeometry(2, 2, w + 4, height() - 4);
    m_title->setGeometry(10, 10, w - 40, 20);
    m_add->setGeometry(w - 25, 10, 20, 20);
    m_list->setGeometry(2, 32, w, m_left->height() - 34);
    const int r = m_left->geometry().right();
    m_info->setGeometry(r + 4, 0, width() - r - 6, height());
}
