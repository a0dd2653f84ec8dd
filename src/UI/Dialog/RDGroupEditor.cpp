#include "RDGroupEditor.h"

#include "RDSipCallDialog.h"

#include "PAAlertDialog.h"
#include "RDDeviceItemWidget.h"
#include "RDDeviceNameModifyDialog.h"
#include "RDDeviceWidget.h"
#include "RDDevicesDialog.h"
#include "RDGroupMoreWidget.h"
#include "RDGroupNameWidget.h"
#include "RDGroupNumberWidget.h"
#include "RDGroupPriorityWidget.h"
#include "RDGroupSourceWidget.h"
#include "RDGroupVolumeWidget.h"
#include "RDLocalize.h"
#include "RDSipCallDialog.h"
#include "RDSlider.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"
#include "VelmarDB.h"

#include <QMenu>

#include <algorithm>

namespace {

bool sameDeviceIds(const QVector<RDDevice> &a, const QVector<RDDevice> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i].id != b[i].id)
            return false;
    }
    return true;
}

int indexOfId(const QVector<RDDevice> &list, int id)
{
    for (int i = 0; i < list.size(); ++i) {
        if (list[i].id == id)
            return i;
    }
    return -1;
}

} // namespace

RDGroupEditor::RDGroupEditor(QWidget *host)
    : QObject(host)
    , m_host(host)
    , m_column(new RDWidget(host))
    , m_number(new RDGroupNumberWidget(m_column))
    , m_name(new RDGroupNameWidget(m_column))
    , m_volume(new RDGroupVolumeWidget(m_column))
    , m_more(new RDGroupMoreWidget(m_column))
    , m_priority(new RDGroupPriorityWidget(m_column))
    , m_source(new RDGroupSourceWidget(m_column))
    , m_grid(new RDDeviceWidget(host))
{
    qRegisterMetaType<RDDevice>("RDDevice");
    m_column->setObjectName(QStringLiteral("fieldsColumn"));
    m_column->setBorder(1, 2, QColor(53, 141, 0));
    for (RDWidget *&separator : m_separators) {
        separator = new RDWidget(m_column);
        separator->setBackgroundColor(QColor(170, 170, 170));
    }
    m_grid->setObjectName(QStringLiteral("deviceWidget"));

    connect(m_volume->slider(), &RDSlider::valueChanged, m_volume, &RDGroupVolumeWidget::showValue);
    connect(m_more, &RDGroupMoreWidget::clickButton, this, &RDGroupEditor::moreButtonClicked);
    connect(m_grid, &RDDeviceWidget::clickNewDevice, this, &RDGroupEditor::newDeviceClicked);
    connect(m_grid, &RDDeviceWidget::clickItemWidget, this,
            [](RDDeviceItemWidget *item, QPoint) { item->setSelected(!item->isSelected()); });
    connect(m_grid, &RDDeviceWidget::rightClickItemWidget, this, &RDGroupEditor::openMenu);
    // Tiles may be rebuilt while a dialog runs: the device is copied first.
    connect(m_grid, &RDDeviceWidget::clickItemCall, this,
            [this](RDDeviceItemWidget *item) { callDevice(item->device()); });
    connect(m_grid, &RDDeviceWidget::clickItemEdit, this,
            [this](RDDeviceItemWidget *item) { emit deviceModifyClicked(item->device()); });
    connect(m_grid, &RDDeviceWidget::clickItemDelete, this,
            [this](RDDeviceItemWidget *item) { emit deviceDeleteClicked(item->device()); });
    languageChanged();
}

RDGroupEditor::~RDGroupEditor()
{
    delete m_menu;
}

void RDGroupEditor::relayout(int width, int height, int reserve)
{
    m_column->setGeometry(0, 2, 260, height - reserve);
    const int right = m_column->geometry().right();
    m_grid->setGeometry(right + 5, 2, width - right - 7, height - reserve);
    m_number->setGeometry(2, 10, 256, 30);
    QWidget *rows[] = {m_name, m_volume, m_more, m_priority};
    int bottom = m_number->geometry().bottom();
    for (int i = 0; i < 5; ++i) {
        m_separators[i]->setGeometry(5, bottom + 5, 250, 1);
        bottom = m_separators[i]->geometry().bottom();
        if (i < 4) {
            rows[i]->setGeometry(2, bottom + 5, 256, 30);
            bottom = rows[i]->geometry().bottom();
        }
    }
    m_source->setGeometry(2, bottom + 5, 256, height - bottom - reserve - 6);
}

void RDGroupEditor::showGroup(const RDGroup &group)
{
    m_number->setText(group.conference);
    m_name->setText(group.name);
    m_volume->setVolume(group.volume);
    if (group.id > 0)
        m_priority->setPriority(group.priority);
    m_more->showGroup(group);
    m_source->loadGroup(group);
    m_grid->setDevices(group.deviceList);
}

void RDGroupEditor::readInto(RDGroup &group) const
{
    group.conference = m_number->text();
    if (group.conference.isEmpty()) {
        VelmarDB db(true);
        group.conference = db.nextConference();
    }
    group.name = m_name->text();
    group.volume = m_volume->volume();
    group.priority = m_priority->priority();
    m_source->saveGroup(group);
    group.setDevices(m_grid->devices());
}

bool RDGroupEditor::pickDevices()
{
    RDDevicesDialog dialog(m_host);
    dialog.centerOn(m_host);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QVector<RDDevice> picked = dialog.selectedDevices();
    QVector<RDDevice> list = m_grid->devices();
    bool added = false;
    for (const RDDevice &device : picked) {
        if (indexOfId(list, device.id) < 0) {
            list.append(device);
            added = true;
        }
    }
    if (!added)
        return false;
    VelmarDB::sortDevices(list);
    m_grid->setDevices(list);
    return true;
}

bool RDGroupEditor::modifyDevice(const RDDevice &device, QVector<RDDevice> &list, RDDevice &edited)
{
    RDDeviceNameModifyDialog dialog(m_host);
    dialog.setDevice(device);
    dialog.centerOn(m_host);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    edited = dialog.device();
    const int index = indexOfId(list, edited.id);
    if (index >= 0)
        list[index] = edited;
    m_grid->updateDevice(edited);
    return true;
}

bool RDGroupEditor::confirmDelete()
{
    PAAlertDialog alert(m_host);
    alert.setMessage(RDLocalize::text(QStringLiteral("Delete this devices")));
    alert.centerOn(m_host);
    return alert.exec() == QDialog::Accepted;
}

bool RDGroupEditor::deleteSelectedDevices()
{
    if (!confirmDelete())
        return false;
    QVector<RDDevice> list = m_grid->devices();
    for (const RDDevice &device : m_grid->selectedDevices()) {
        const int index = indexOfId(list, device.id);
        if (index >= 0)
            list.remove(index);
    }
    m_grid->setDevices(list);
    return true;
}

bool RDGroupEditor::deleteDevice(const RDDevice &device)
{
    if (!confirmDelete())
        return false;
    m_grid->removeDevice(device);
    return true;
}

void RDGroupEditor::openMenu(RDDeviceItemWidget *item, QPoint point)
{
    if (m_menu) {
        m_menu->hide();
        m_menu->deleteLater();
    }
    item->setSelected(true);
    m_currentDevice = item->device();
    m_menu = new QMenu(m_host);
    m_menu->setObjectName(QStringLiteral("deviceMenu"));
    const RDDevice device = m_currentDevice;
    m_menu->addAction(RDLocalize::text(QStringLiteral("Call")), this, [this, device] { callDevice(device); });
    m_menu->addAction(RDLocalize::text(QStringLiteral("Modify")), this, &RDGroupEditor::menuModify);
    m_menu->addAction(RDLocalize::text(QStringLiteral("Delete")), this, &RDGroupEditor::menuDelete);
    applyMenuStyle(m_menu);
    m_menu->move(m_grid->mapToGlobal(point));
    m_menu->show();
}

void RDGroupEditor::callDevice(const RDDevice &device)
{
    // The device is a copy taken at the click: nothing of the grid is
    // used across the modal call.
    RDSipCallDialog dialog(m_host);
    dialog.setNumber(device.number);
    dialog.startCallThread();
    dialog.exec();
}

void RDGroupEditor::languageChanged()
{
    m_grid->setNewDeviceItem(QString(), RDLocalize::text(QStringLiteral("Select Devices")));
}

bool RDGroupEditor::differs(const RDGroup &a, const RDGroup &b)
{
    return a.scheduleEnable != b.scheduleEnable || a.rtpEnable != b.rtpEnable || a.sipTrunkEnable != b.sipTrunkEnable
        || a.priority != b.priority || a.volume != b.volume || a.name != b.name || a.conference != b.conference
        || a.source != b.source || a.streamUrl != b.streamUrl || a.audioId != b.audioId || a.audioName != b.audioName
        || a.audioType != b.audioType || a.mediumLoopType != b.mediumLoopType
        || a.mediumLoopTimes != b.mediumLoopTimes || a.mediumLoopDuration != b.mediumLoopDuration
        || a.mediaList != b.mediaList || !sameDeviceIds(a.deviceList, b.deviceList)
        || !RDGroup::sameScheduleOperations(a.scheduleOperationList, b.scheduleOperationList)
        || a.prayFileList != b.prayFileList || a.prayLocation != b.prayLocation || a.prayMethod != b.prayMethod
        || a.praySchool != b.praySchool || a.prayLatitudeAdjustmentMethod != b.prayLatitudeAdjustmentMethod;
}

void RDGroupEditor::copyMoreFields(const RDGroup &from, RDGroup &to)
{
    to.scheduleEnable = from.scheduleEnable;
    to.scheduleRepeatType = from.scheduleRepeatType;
    to.scheduleRepeatValue = from.scheduleRepeatValue;
    to.scheduleTime = from.scheduleTime;
    to.setScheduleOperations(from.scheduleOperationList);
    to.sipTrunkEnable = from.sipTrunkEnable;
    to.sipTrunkServer = from.sipTrunkServer;
    to.sipTrunkPort = from.sipTrunkPort;
    to.sipTrunkNumber = from.sipTrunkNumber;
    to.sipTrunkPassword = from.sipTrunkPassword;
    to.sipTrunkName = from.sipTrunkName;
    to.sipTrunkExpire = from.sipTrunkExpire;
    to.rtpEnable = from.rtpEnable;
    to.rtpUrl = from.rtpUrl;
    to.httpOutputEnable = from.httpOutputEnable;
}
