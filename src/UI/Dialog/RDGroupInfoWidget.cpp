#include "RDGroupInfoWidget.h"

#include "RDDeviceWidget.h"
#include "RDGroupEditor.h"
#include "RDGroupMoreDialog.h"
#include "RDGroupMoreWidget.h"
#include "RDGroupNameWidget.h"
#include "RDGroupNumberWidget.h"
#include "RDGroupPriorityWidget.h"
#include "RDGroupSourceWidget.h"
#include "RDGroupVolumeWidget.h"
#include "RDPixmapButton.h"
#include "RDSlider.h"

RDGroupInfoWidget::RDGroupInfoWidget(QWidget *parent)
    : RDToast(parent)
    , m_editor(new RDGroupEditor(this))
{
    qRegisterMetaType<RDGroup>("RDGroup");
    setObjectName(QStringLiteral("RDGroupInfoWidget"));
    setBackgroundColor(Qt::white);
    connect(m_editor->numberRow()->callButton(), &RDPixmapButton::clicked, this, &RDGroupInfoWidget::requestLocalCall);
    connect(m_editor->volumeRow()->slider(), &RDSlider::valueChanged, this, &RDGroupInfoWidget::onVolumeChanged);
    connect(m_editor, &RDGroupEditor::moreButtonClicked, this, &RDGroupInfoWidget::onClickMoreButton);
    RDGroupSourceWidget *source = m_editor->sourceWidget();
    connect(source, &RDGroupSourceWidget::switchMedia, this, [this](QString media, int position) {
        if (isStarted())
            emit requestChangeMedia(m_group, media, position);
    });
    auto storeWhenStopped = [this] {
        if (!isStarted())
            emit requestUpdateGroup();
    };
    connect(source, &RDGroupSourceWidget::mediaChanged, this, storeWhenStopped);
    connect(source, &RDGroupSourceWidget::prayChanged, this, storeWhenStopped);
    connect(m_editor, &RDGroupEditor::newDeviceClicked, this, &RDGroupInfoWidget::onClickNewDevice);
    connect(m_editor, &RDGroupEditor::menuModify, this, &RDGroupInfoWidget::onClickMenuModify);
    connect(m_editor, &RDGroupEditor::menuDelete, this, &RDGroupInfoWidget::onClickMenuDelete);
    connect(m_editor, &RDGroupEditor::deviceModifyClicked, this, &RDGroupInfoWidget::onClickDeviceModify);
    connect(m_editor, &RDGroupEditor::deviceDeleteClicked, this, &RDGroupInfoWidget::onClickDeviceDelete);
    m_editor->showGroup(m_group);
    applyRunState();
}

RDGroupInfoWidget::~RDGroupInfoWidget() = default;

void RDGroupInfoWidget::setGroup(const RDGroup &group)
{
    // The same zone again while the operator has unsaved edits: the edits
    // stay, measured from now on against the new record. Once the new
    // record holds them (they were stored) the rows are simply refreshed.
    bool keepEdits = false;
    if (group.id > 0 && group.id == m_group.id) {
        const RDGroup edited = readGroup();
        keepEdits = RDGroupEditor::differs(edited, m_group) && RDGroupEditor::differs(edited, group);
    }
    m_group = group;
    if (!keepEdits) {
        m_hasMoreEdits = false;
        m_editor->showGroup(m_group);
    }
    m_editor->deviceWidget()->updateDeviceStatus(m_group.deviceList);
    applyRunState();
}

RDGroup RDGroupInfoWidget::readGroup() const
{
    RDGroup group = m_group;
    if (m_hasMoreEdits)
        RDGroupEditor::copyMoreFields(m_moreEdits, group);
    m_editor->readInto(group);
    return group;
}

bool RDGroupInfoWidget::isChanged(const RDGroup &group) const
{
    return RDGroupEditor::differs(group, m_group);
}

void RDGroupInfoWidget::updateDeviceStatus(const QVector<RDDevice> &devices)
{
    m_group.updateDeviceStatus(devices);
    m_editor->deviceWidget()->updateDeviceStatus(devices);
}

void RDGroupInfoWidget::reloadSources()
{
    // The rebuilt choices no longer show the zone, so the rows are read
    // first and drawn anew: the operator's unsaved edits (the more dialog's
    // waiting results among them) with the panel zone's run state, or the
    // panel zone itself.
    const RDGroup edited = readGroup();
    RDGroup shown = m_group;
    if (m_group.id > 0 && isChanged(edited)) {
        shown = edited;
        static_cast<RDGroupStatus &>(shown) = static_cast<const RDGroupStatus &>(m_group);
    } else {
        m_hasMoreEdits = false;
    }
    m_editor->sourceWidget()->reloadSources();
    m_editor->showGroup(shown);
    m_editor->deviceWidget()->updateDeviceStatus(shown.deviceList);
    applyRunState();
}

void RDGroupInfoWidget::applyRunState()
{
    const bool stopped = !isStarted();
    m_editor->numberRow()->setEnabled(stopped);
    m_editor->nameRow()->setEnabled(stopped);
    m_editor->moreRow()->setEnabled(stopped);
    m_editor->priorityRow()->setEnabled(stopped);
    m_editor->volumeRow()->setEnabled(true);
    m_editor->deviceWidget()->setNewDeviceEnabled(stopped);
}

void RDGroupInfoWidget::onVolumeChanged(int value)
{
    if (!isStarted())
        return;
    m_group.volume = value;
    emit requestUpdateGroupVolume(m_group);
}

void RDGroupInfoWidget::onClickNewDevice()
{
    if (m_editor->pickDevices())
        emit requestUpdateGroup();
}

void RDGroupInfoWidget::onClickMenuModify()
{
    onClickDeviceModify(m_editor->currentDevice());
}

void RDGroupInfoWidget::onClickMenuDelete()
{
    m_editor->deleteSelectedDevices();
}

void RDGroupInfoWidget::onClickDeviceModify(RDDevice device)
{
    RDDevice edited;
    if (m_editor->modifyDevice(device, m_group.deviceList, edited))
        emit requestUpdateDevice(edited);
}

void RDGroupInfoWidget::onClickDeviceDelete(RDDevice device)
{
    m_editor->deleteDevice(device);
}

void RDGroupInfoWidget::onClickMoreButton(int index)
{
    if (isStarted())
        return;
    // The dialog's results wait beside the panel zone: it moves only when
    // the owner has stored them and shows the stored zone.
    RDGroup current = m_group;
    if (m_hasMoreEdits)
        RDGroupEditor::copyMoreFields(m_moreEdits, current);
    RDGroupMoreDialog dialog(this);
    auto take = [this, &dialog, current] {
        m_moreEdits = current;
        dialog.getGroup(m_moreEdits);
        m_hasMoreEdits = true;
        m_editor->moreRow()->showGroup(m_moreEdits);
    };
    connect(&dialog, &RDGroupMoreDialog::requestApplyGroup, this, [this, take](RDGroup) {
        take();
        emit requestUpdateGroup();
    });
    dialog.setCurrentTab(index);
    dialog.setGroup(current);
    dialog.centerOn(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    take();
    emit requestUpdateGroup();
}

void RDGroupInfoWidget::languageChanged()
{
    m_editor->languageChanged();
}

void RDGroupInfoWidget::resizeEvent(QResizeEvent *event)
{
    RDToast::resizeEvent(event);
    m_editor->relayout(width(), height(), 4);
}
