#include "RDDevicesDialog.h"

#include "PAAlertDialog.h"
#include "RDDeviceAddAllDialog.h"
#include "RDDeviceAddOneDialog.h"
#include "RDDeviceImportDialog.h"
#include "RDDeviceItemWidget.h"
#include "RDDeviceModifyDialog.h"
#include "RDDeviceWidget.h"
#include "RDLabel.h"
#include "RDPixmapButton.h"
#include "RDSipCallDialog.h"
#include "RDUtils.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"
#include "Velmar.h"

#include <QApplication>
#include <QDesktopWidget>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSet>
#include <QThread>

#include <algorithm>

namespace {

RDPixmapButton *toolButton(QWidget *parent, const char *name, const char *image)
{
    auto *button = new RDPixmapButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setPixmap(QStringLiteral(":/resources/") + QLatin1String(image), 20);
    return button;
}

// How many refused numbers or lines a message names before "...".
const int kListedRefusals = 5;

} // namespace

RDDevicesDialog::RDDevicesDialog(QWidget *parent)
    : RDFullDialog(parent)
    , m_addOneButton(toolButton(body(), "addOneButton", "add_one.png"))
    , m_addAllButton(toolButton(body(), "addAllButton", "add_all.png"))
    , m_importButton(toolButton(body(), "importButton", "import.png"))
    , m_filterEdit(new QLineEdit(body()))
    , m_searchButton(toolButton(body(), "searchButton", "search.png"))
    , m_deviceWidget(new RDDeviceWidget(body()))
    , m_selectAllLabel(new RDLabel(body()))
    , m_selectButton(new RDLabel(body()))
{
    qRegisterMetaType<RDDevice>("RDDevice");
    qRegisterMetaType<QVector<RDDevice>>("QVector<RDDevice>");
    setObjectName(QStringLiteral("RDDevicesDialog"));
    m_filterEdit->setObjectName(QStringLiteral("filterEdit"));
    m_deviceWidget->setObjectName(QStringLiteral("deviceWidget"));
    m_selectAllLabel->setObjectName(QStringLiteral("selectAllLabel"));
    m_selectAllLabel->setTextColor(rdThemeColor());
    m_selectAllLabel->setCursor(Qt::PointingHandCursor);
    m_selectButton->setObjectName(QStringLiteral("selectButton"));
    m_selectButton->setTextColor(Qt::white);
    m_selectButton->setBackgroundColor(rdThemeColor());
    m_selectButton->setBorder(10, 0, rdThemeColor());
    m_selectButton->setCursor(Qt::PointingHandCursor);
    languageChanged();

    connect(m_selectAllLabel, &RDLabel::clicked, this, &RDDevicesDialog::onClickSelectAll);
    connect(m_selectButton, &RDLabel::clicked, this, &QDialog::accept);
    connect(m_deviceWidget, &RDDeviceWidget::clickItemWidget, this, [this](RDDeviceItemWidget *item, QPoint) {
        item->setSelected(!item->isSelected());
        updateSelectLabel();
    });
    connect(m_deviceWidget, &RDDeviceWidget::rightClickItemWidget, this, &RDDevicesDialog::onRightClickItem);
    connect(m_deviceWidget, &RDDeviceWidget::clickNewDevice, this, &RDDevicesDialog::onClickNewDevice);
    connect(m_addOneButton, &RDPixmapButton::clicked, this, &RDDevicesDialog::onClickAddOneButton);
    // The tile's device is copied before the handler runs a modal dialog.
    connect(m_deviceWidget, &RDDeviceWidget::clickItemEdit, this,
            [this](RDDeviceItemWidget *item) { onClickDeviceModify(item->device()); });
    connect(m_deviceWidget, &RDDeviceWidget::clickItemDelete, this,
            [this](RDDeviceItemWidget *item) { onClickDeviceDelete(item->device()); });
    connect(m_deviceWidget, &RDDeviceWidget::clickItemCall, this,
            [this](RDDeviceItemWidget *item) { onClickDeviceCall(item->device()); });
    connect(m_addAllButton, &RDPixmapButton::clicked, this, &RDDevicesDialog::onClickAddAllButton);
    connect(m_importButton, &RDPixmapButton::clicked, this, &RDDevicesDialog::onClickImportButton);
    connect(m_filterEdit, &QLineEdit::textChanged, this, &RDDevicesDialog::onClickFilterButton);
    connect(m_searchButton, &RDPixmapButton::clicked, this, &RDDevicesDialog::onClickFilterButton);

    const QRect desktop = screen() ? screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(int(desktop.width() * 0.8), int(desktop.height() * 0.8));
    loadDevices();
    if (Velmar *velmar = Velmar::instance())
        velmar->addObserver(this);
}

RDDevicesDialog::~RDDevicesDialog()
{
    if (Velmar *velmar = Velmar::instance())
        velmar->removeObserver(this);
    delete m_menu;
}

void RDDevicesDialog::languageChanged()
{
    RDFullDialog::languageChanged();
    setWindowTitle(RDLocalize::text(QStringLiteral("Devices")));
    m_addOneButton->setToolTip(RDLocalize::text(QStringLiteral("Add Device")));
    m_addAllButton->setToolTip(RDLocalize::text(QStringLiteral("Batch Add Devices")));
    m_importButton->setToolTip(RDLocalize::text(QStringLiteral("Import Devices")));
    m_deviceWidget->setNewDeviceItem(QStringLiteral(":/resources/add_new.png"),
                                     RDLocalize::text(QStringLiteral("New Device")));
    m_selectButton->setText(RDLocalize::text(QStringLiteral("Select")));
    updateSelectLabel();
}

QVector<RDDevice> RDDevicesDialog::selectedDevices() const
{
    return m_deviceWidget->selectedDevices();
}

void RDDevicesDialog::loadDevices()
{
    Velmar *velmar = Velmar::instance();
    m_devices = velmar ? velmar->getDevices() : QVector<RDDevice>();
    m_deviceWidget->setDevices(m_devices);
    // Devices that went away are no longer selected.
    m_deviceWidget->clearHiddenSelection();
    updateSelectLabel();
}

void RDDevicesDialog::updateSelectLabel()
{
    const bool any = !m_deviceWidget->isEmpty() && m_deviceWidget->hasSelectedDevices();
    m_selectAllLabel->setText(RDLocalize::text(any ? QStringLiteral("Deselect all") : QStringLiteral("Select all")));
    m_selectAllLabel->adjustSize();
    m_selectAllLabel->setGeometry(body()->width() - m_selectAllLabel->width() - 20, 10, m_selectAllLabel->width(), 20);
}

void RDDevicesDialog::onClickSelectAll()
{
    m_deviceWidget->setAllSelected(!m_deviceWidget->hasSelectedDevices());
    updateSelectLabel();
}

void RDDevicesDialog::relayoutContents(int w, int h)
{
    m_addOneButton->setGeometry(10, 10, 20, 20);
    m_addAllButton->setGeometry(m_addOneButton->geometry().right() + 10, 10, 20, 20);
    m_importButton->setGeometry(m_addAllButton->geometry().right() + 10, 10, 20, 20);
    m_filterEdit->setGeometry(m_importButton->geometry().right() + 10, 10, 100, 20);
    m_searchButton->setGeometry(m_filterEdit->geometry().right() + 5, 10, 20, 20);
    updateSelectLabel();
    m_selectButton->setGeometry((w - 100) / 2, h - 40, 100, 30);
    m_deviceWidget->setGeometry(10, 40, w - 20, h - 90);
}

void RDDevicesDialog::onRightClickItem(RDDeviceItemWidget *item, QPoint point)
{
    if (m_menu) {
        m_menu->hide();
        m_menu->deleteLater();
    }
    item->setSelected(true);
    m_currentDevice = item->device();
    updateSelectLabel();
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("deviceMenu"));
    m_menu->addAction(RDLocalize::text(QStringLiteral("Call")), this, &RDDevicesDialog::onClickMenuCall);
    m_menu->addAction(RDLocalize::text(QStringLiteral("Modify")), this, &RDDevicesDialog::onClickMenuModify);
    m_menu->addAction(RDLocalize::text(QStringLiteral("Delete")), this, &RDDevicesDialog::onClickMenuDelete);
    applyMenuStyle(m_menu);
    m_menu->move(m_deviceWidget->mapToGlobal(point));
    m_menu->show();
}

void RDDevicesDialog::onClickNewDevice()
{
    onClickAddOneButton();
}

void RDDevicesDialog::onClickMenuCall()
{
    onClickDeviceCall(m_currentDevice);
}

void RDDevicesDialog::onClickDeviceCall(RDDevice device)
{
    RDSipCallDialog dialog;
    dialog.setNumber(device.number);
    dialog.startCallThread();
    dialog.exec();
}

void RDDevicesDialog::onClickMenuModify()
{
    onClickDeviceModify(m_currentDevice);
}

void RDDevicesDialog::onClickMenuDelete()
{
    onClickDeviceDelete(m_currentDevice);
}

void RDDevicesDialog::showMessage(const QString &message)
{
    showToast(message, Qt::AlignHCenter | Qt::AlignBottom, 5, 50);
}

void RDDevicesDialog::onClickAddOneButton()
{
    RDDeviceAddOneDialog dialog(this);
    dialog.centerOn(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Velmar *velmar = Velmar::instance();
    RDDevice device = dialog.device();
    device.id = velmar ? velmar->addDevice(device) : 0;
    if (device.id <= 0) {
        // Most often the number belongs to a stored device already.
        showMessage(QStringLiteral("%1 %2").arg(RDLocalize::text(QStringLiteral("Save Failure")), device.number));
        return;
    }
    updateDeviceAdded(device);
}

void RDDevicesDialog::storeDevices(const QVector<RDDevice> &devices, const QStringList &refusedBefore)
{
    if (devices.isEmpty() && refusedBefore.isEmpty())
        return;
    Velmar *velmar = Velmar::instance();
    const QVector<RDDevice> stored = devices.isEmpty() || !velmar ? QVector<RDDevice>() : velmar->addDevices(devices);
    if (!stored.isEmpty())
        loadDevices();
    QSet<QString> storedNumbers;
    for (const RDDevice &d : stored)
        storedNumbers.insert(d.number);
    // A number left out belongs to a device stored before, unless the store
    // itself failed.
    QSet<QString> known;
    for (const RDDevice &d : qAsConst(m_devices))
        known.insert(d.number);
    QStringList refused = refusedBefore;
    for (const RDDevice &d : devices) {
        if (storedNumbers.contains(d.number))
            continue;
        const QString why = known.contains(d.number) ? QStringLiteral("is stored already") : QStringLiteral("Save Failure");
        refused.append(QStringLiteral("%1 %2").arg(d.number, RDLocalize::text(why)));
    }
    QString message = RDLocalize::text(QStringLiteral("%1 of %2 stored"))
                          .arg(stored.size())
                          .arg(devices.size() + refusedBefore.size());
    if (!refused.isEmpty()) {
        QStringList listed = refused.mid(0, kListedRefusals);
        if (refused.size() > kListedRefusals)
            listed.append(QStringLiteral("..."));
        message += QStringLiteral("; %1: %2").arg(RDLocalize::text(QStringLiteral("refused")),
                                                  listed.join(QStringLiteral(", ")));
    }
    showMessage(message);
}

void RDDevicesDialog::onClickAddAllButton()
{
    RDDeviceAddAllDialog dialog(this);
    dialog.centerOn(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    storeDevices(dialog.buildDevices(), {});
}

void RDDevicesDialog::onClickImportButton()
{
    RDDeviceImportDialog dialog(this);
    dialog.centerOn(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    storeDevices(dialog.devices(), dialog.refusedLines());
}

void RDDevicesDialog::onClickDeviceModify(RDDevice device)
{
    RDDeviceModifyDialog dialog(this);
    dialog.setDevice(device);
    dialog.centerOn(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Velmar *velmar = Velmar::instance();
    const RDDevice changed = dialog.device();
    if (!velmar || !velmar->updateDevice(changed)) {
        showMessage(RDLocalize::text(QStringLiteral("Save Failure")));
        return;
    }
    updateDeviceUpdated(changed);
}

void RDDevicesDialog::onClickDeviceDelete(RDDevice device)
{
    PAAlertDialog alert(this);
    alert.setMessage(RDLocalize::text(QStringLiteral("Delete this devices")));
    alert.centerOn(this);
    if (alert.exec() != QDialog::Accepted)
        return;
    // The selected devices the operator can see, and the one asked for;
    // looked up again now, after the box, by id.
    QVector<RDDevice> list;
    const QVector<RDDevice> &shown = m_deviceWidget->devices();
    for (const RDDevice &d : m_deviceWidget->selectedDevices()) {
        if (std::find(shown.begin(), shown.end(), d) != shown.end())
            list.append(d);
    }
    if (std::find(list.begin(), list.end(), device) == list.end())
        list.append(device);
    Velmar *velmar = Velmar::instance();
    if (!velmar)
        return;
    if (list.size() == 1) {
        if (velmar->removeDevice(list.first()))
            updateDeviceDeleted(list.first());
        else
            showMessage(RDLocalize::text(QStringLiteral("Delete Failure")));
        return;
    }
    velmar->removeDevices(list);
    loadDevices();
}

void RDDevicesDialog::onClickFilterButton()
{
    const QString filter = m_filterEdit->text();
    if (filter.isEmpty()) {
        m_deviceWidget->setDevices(m_devices);
    } else {
        QVector<RDDevice> shown;
        for (const RDDevice &d : qAsConst(m_devices)) {
            if (d.name.contains(filter, Qt::CaseSensitive) || d.number.contains(filter, Qt::CaseSensitive))
                shown.append(d);
        }
        m_deviceWidget->setDevices(shown);
    }
    updateSelectLabel();
}

void RDDevicesDialog::updateDeviceAdded(RDDevice device)
{
    m_devices.append(device);
    m_deviceWidget->addDevice(device);
    updateSelectLabel();
}

void RDDevicesDialog::updateDeviceUpdated(RDDevice device)
{
    for (RDDevice &d : m_devices) {
        if (d.id == device.id) {
            d = device;
            break;
        }
    }
    m_deviceWidget->updateDevice(device);
    updateSelectLabel();
}

void RDDevicesDialog::updateDeviceDeleted(RDDevice device)
{
    const auto it = std::find(m_devices.begin(), m_devices.end(), device);
    if (it != m_devices.end())
        m_devices.erase(it);
    m_deviceWidget->removeDevice(device);
    updateSelectLabel();
}

void RDDevicesDialog::updateNotifyDeviceStatusChanged(QVector<RDDevice> devices)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "updateNotifyDeviceStatusChanged", Qt::QueuedConnection,
                                  Q_ARG(QVector<RDDevice>, devices));
        return;
    }
    const QString none = QStringLiteral("none");
    for (RDDevice &d : m_devices) {
        const auto it = std::find(devices.begin(), devices.end(), d);
        d.status = it != devices.end() ? it->status : none;
    }
    m_deviceWidget->updateDeviceStatus(devices);
}

void RDDevicesDialog::onNotifyDeviceStatusChanged(Velmar *, QVector<RDDevice> devices)
{
    updateNotifyDeviceStatusChanged(devices);
}
