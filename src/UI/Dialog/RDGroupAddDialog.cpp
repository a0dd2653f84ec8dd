#include "RDGroupAddDialog.h"

#include "RDDeviceWidget.h"
#include "RDGroupEditor.h"
#include "RDGroupMoreDialog.h"
#include "RDGroupMoreWidget.h"
#include "RDGroupNameWidget.h"
#include "RDGroupNumberWidget.h"
#include "RDGroupVolumeWidget.h"
#include "RDLabel.h"
#include "RDWidget.h"
#include "RDUtils.h"
#include "VelmarDB.h"

#include <QScreen>

RDGroupAddDialog::RDGroupAddDialog(QWidget *parent)
    : RDFullDialog(parent)
    , m_editor(new RDGroupEditor(body()))
    , m_ok(new RDLabel(body()))
{
    setObjectName(QStringLiteral("RDGroupAddDialog"));
    body()->setBackgroundColor(Qt::white);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setBackgroundColor(rdThemeColor());
    m_ok->setTextColor(Qt::white);
    m_ok->setCursor(Qt::PointingHandCursor);
    connect(m_editor, &RDGroupEditor::moreButtonClicked, this, &RDGroupAddDialog::onClickMoreButton);
    connect(m_editor, &RDGroupEditor::newDeviceClicked, this, &RDGroupAddDialog::onClickNewDevice);
    connect(m_editor, &RDGroupEditor::menuModify, this, &RDGroupAddDialog::onClickMenuModify);
    connect(m_editor, &RDGroupEditor::menuDelete, this, &RDGroupAddDialog::onClickMenuDelete);
    connect(m_editor, &RDGroupEditor::deviceModifyClicked, this, &RDGroupAddDialog::onClickDeviceModify);
    connect(m_editor, &RDGroupEditor::deviceDeleteClicked, this, &RDGroupAddDialog::onClickDeviceDelete);
    connect(m_ok, &RDLabel::clicked, this, &RDGroupAddDialog::onClickOKButton);
    const QRect desktop = screen() ? screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(int(desktop.width() * 0.8), int(desktop.height() * 0.8));
    languageChanged();
}

RDGroupAddDialog::~RDGroupAddDialog() = default;

void RDGroupAddDialog::setGroup(const RDGroup &group)
{
    m_group = group;
    m_editor->showGroup(m_group);
    const bool stopped = !isStarted();
    m_editor->numberRow()->setEnabled(stopped);
    m_editor->nameRow()->setEnabled(stopped);
    m_editor->volumeRow()->setEnabled(stopped);
    m_editor->moreRow()->setEnabled(stopped);
}

void RDGroupAddDialog::onClickNewDevice()
{
    m_editor->pickDevices();
}

void RDGroupAddDialog::onClickMenuModify()
{
    onClickDeviceModify(m_editor->currentDevice());
}

void RDGroupAddDialog::onClickMenuDelete()
{
    m_editor->deleteSelectedDevices();
}

void RDGroupAddDialog::onClickDeviceModify(RDDevice device)
{
    RDDevice edited;
    m_editor->modifyDevice(device, m_group.deviceList, edited);
}

void RDGroupAddDialog::onClickDeviceDelete(RDDevice device)
{
    m_editor->deleteDevice(device);
}

void RDGroupAddDialog::onClickMoreButton(int index)
{
    if (isStarted())
        return;
    RDGroupMoreDialog dialog(this);
    dialog.setCurrentTab(index);
    dialog.setGroup(m_group);
    dialog.centerOn(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    dialog.getGroup(m_group);
    m_editor->moreRow()->showGroup(m_group);
}

void RDGroupAddDialog::onClickOKButton()
{
    RDGroup group = m_group;
    m_editor->readInto(group);
    m_group = group;
    if (!VelmarDB::isValidConference(group.conference)) {
        showToast(RDLocalize::text(QStringLiteral("Conference is invalid")), Qt::AlignBottom | Qt::AlignHCenter, 5, 5);
        return;
    }
    // The number is unique among zones: storing a taken one would fail and
    // the composed zone would be gone with the dialog.
    bool taken;
    {
        VelmarDB db(true);
        taken = db.selectGroupByConference(group.conference).id > 0;
    }
    if (taken) {
        showToast(RDLocalize::text(QStringLiteral("Conference is in use")), Qt::AlignBottom | Qt::AlignHCenter, 5, 5);
        return;
    }
    accept();
}

void RDGroupAddDialog::languageChanged()
{
    RDFullDialog::languageChanged();
    m_editor->languageChanged();
    m_ok->setText(RDLocalize::text(QStringLiteral("OK")));
}

void RDGroupAddDialog::relayoutContents(int width, int height)
{
    RDFullDialog::relayoutContents(width, height);
    m_editor->relayout(width, height, 54);
    m_ok->setGeometry((width - 120) / 2, height - 40, 120, 30);
}
