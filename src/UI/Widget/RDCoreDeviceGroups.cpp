#include "RDCoreDeviceGroups.h"

#include "RDCoreDeviceGroupItemWidget.h"

RDCoreDeviceGroups::RDCoreDeviceGroups(QWidget *parent) : RDWidget(parent) {}

RDCoreDeviceGroups::~RDCoreDeviceGroups() = default;

void RDCoreDeviceGroups::setDevices(const QVector<RDCoreDevice> &devices, const QString &selectedId)
{
    clear();
    if (devices.isEmpty())
        return;
    bool matched = false;
    for (const RDCoreDevice &device : devices) {
        auto *row = new RDCoreDeviceGroupItemWidget(this);
        row->setDevice(device);
        const bool checked = device.id() == selectedId;
        matched = matched || checked;
        row->setChecked(checked);
        row->show();
        connect(row, &RDCoreDeviceGroupItemWidget::clicked, this, &RDCoreDeviceGroups::onItemWidgetClicked,
                Qt::QueuedConnection);
        m_rows.append(row);
    }
    if (!matched) {
        for (RDCoreDeviceGroupItemWidget *row : qAsConst(m_rows)) {
            if (row->device().type() == RDCoreDevice::Capture) {
                row->setChecked(true);
                break;
            }
        }
    }
    relayout();
    updateGeometry();
}

RDCoreDevice RDCoreDeviceGroups::selectedDevice() const
{
    for (RDCoreDeviceGroupItemWidget *row : m_rows) {
        if (row->isChecked())
            return row->device();
    }
    return RDCoreDevice();
}

void RDCoreDeviceGroups::clear()
{
    // Clicks reach the list queued and are checked against the rows, so a
    // row can go at once.
    qDeleteAll(m_rows);
    m_rows.clear();
}

QSize RDCoreDeviceGroups::sizeHint() const { return QSize(100, 25 * m_rows.size()); }

void RDCoreDeviceGroups::onItemWidgetClicked(RDCoreDeviceGroupItemWidget *itemWidget)
{
    // Queued: the row may be gone since, by a rebuild.
    if (!m_rows.contains(itemWidget) || itemWidget->isChecked())
        return;
    for (RDCoreDeviceGroupItemWidget *row : qAsConst(m_rows))
        row->setChecked(row == itemWidget);
    emit selectionChanged();
}

void RDCoreDeviceGroups::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    relayout();
}

void RDCoreDeviceGroups::relayout()
{
    for (int i = 0; i < m_rows.size(); ++i)
        m_rows[i]->setGeometry(5, 25 * i, qMax(0, width() - 5), 20);
}
