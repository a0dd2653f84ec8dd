#include "RDDeviceWidget.h"

#include "RDDeviceItemAddWidget.h"
#include "RDDeviceItemWidget.h"
#include "RDLocalize.h"
#include "RDPixmapCache.h"
#include "RDWidget.h"
#include "VelmarDB.h"

#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {

const int kTileWidth = 160;
const int kTileHeight = 90;
const int kStepX = 165;
const int kStepY = 95;

} // namespace

RDDeviceWidget::RDDeviceWidget(QWidget *parent)
    : QScrollArea(parent)
    , m_content(new RDWidget)
    , m_newDeviceIcon(QStringLiteral(":/resources/add_new.png"))
    , m_newDeviceText(QStringLiteral("New Device"))
    , m_addWidget(nullptr)
{
    initWidgetResources();
    qRegisterMetaType<RDDeviceItemWidget *>("RDDeviceItemWidget*");
    setFrameShape(QFrame::NoFrame);
    setContentsMargins(0, 0, 0, 0);
    m_content->setContentsMargins(0, 0, 0, 0);
    m_content->setObjectName(QStringLiteral("deviceContent"));
    m_content->setBackgroundColor(Qt::white);
    m_content->setBorder(0, 2, QColor(53, 141, 0));
    setWidgetResizable(false);
    setWidget(m_content);
    m_addWidget = new RDDeviceItemAddWidget(m_content);
    m_addWidget->setObjectName(QStringLiteral("newDeviceItem"));
    connect(m_addWidget, &RDDeviceItemAddWidget::clickNewDevice, this, [this] {
        if (!m_newDeviceEnabled)
            return;
        QTimer::singleShot(10, this, &RDDeviceWidget::sendClickNewDevice);
    });
    relayout();
}

RDDeviceWidget::~RDDeviceWidget() = default;

void RDDeviceWidget::sendClickNewDevice()
{
    emit clickNewDevice();
}

RDDeviceItemWidget *RDDeviceWidget::makeItem()
{
    auto *item = new RDDeviceItemWidget(m_content);
    connect(item, &RDDeviceItemWidget::clickItem, this, [this](RDDeviceItemWidget *tile, QPoint point) {
        if (m_newDeviceEnabled)
            emit clickItemWidget(tile, tile->mapTo(this, point));
    });
    connect(item, &RDDeviceItemWidget::rightClickItem, this, [this](RDDeviceItemWidget *tile, QPoint point) {
        if (m_newDeviceEnabled)
            emit rightClickItemWidget(tile, tile->mapTo(this, point));
    });
    connect(item, &RDDeviceItemWidget::clickItemCall, this, [this](RDDeviceItemWidget *tile) {
        if (m_newDeviceEnabled)
            emit clickItemCall(tile);
    });
    connect(item, &RDDeviceItemWidget::clickItemEdit, this, [this](RDDeviceItemWidget *tile) {
        if (m_newDeviceEnabled)
            emit clickItemEdit(tile);
    });
    connect(item, &RDDeviceItemWidget::clickItemDelete, this, [this](RDDeviceItemWidget *tile) {
        if (m_newDeviceEnabled)
            emit clickItemDelete(tile);
    });
    connect(item, &RDDeviceItemWidget::selectedChanged, this, &RDDeviceWidget::onSelectedChanged);
    item->resize(kTileWidth, kTileHeight);
    item->show();
    return item;
}

void RDDeviceWidget::onSelectedChanged(RDDeviceItemWidget *item, bool selected)
{
    if (m_settingFlags)
        return;
    if (selected)
        m_selected.insert(item->device().id, item->device());
    else
        m_selected.remove(item->device().id);
}

void RDDeviceWidget::showItem(RDDeviceItemWidget *item, const RDDevice &device)
{
    item->setDevice(device);
    m_settingFlags = true;
    item->setSelected(m_selected.contains(device.id));
    m_settingFlags = false;
    if (m_selected.contains(device.id))
        m_selected[device.id] = device;
}

void RDDeviceWidget::setDevices(const QVector<RDDevice> &devices)
{
    m_devices = devices;
    synchronize();
}

void RDDeviceWidget::addDevice(const RDDevice &device)
{
    m_devices.append(device);
    VelmarDB::sortDevices(m_devices);
    synchronize();
}

void RDDeviceWidget::updateDevice(const RDDevice &device)
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items[i]->device().id != device.id)
            continue;
        showItem(m_items[i], device);
        if (i < m_devices.size())
            m_devices[i] = device;
        return;
    }
}

void RDDeviceWidget::removeDevice(const RDDevice &device)
{
    const auto it = std::find_if(m_devices.begin(), m_devices.end(),
                                 [&](const RDDevice &d) { return d.id == device.id; });
    if (it != m_devices.end())
        m_devices.erase(it);
    m_selected.remove(device.id);
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items[i]->device().id != device.id)
            continue;
        RDDeviceItemWidget *item = m_items.takeAt(i);
        item->setParent(nullptr);
        item->hide();
        delete item;
        relayout();
        return;
    }
}

void RDDeviceWidget::updateDeviceStatus(const QVector<RDDevice> &devices)
{
    QMap<int, QString> status;
    for (const RDDevice &d : devices) {
        if (!status.contains(d.id))
            status.insert(d.id, d.status);
    }
    const QString none = QStringLiteral("none");
    for (RDDevice &d : m_devices)
        d.status = status.value(d.id, none);
    for (RDDeviceItemWidget *item : qAsConst(m_items)) {
        item->device().status = status.value(item->device().id, none);
        item->update();
    }
}

RDDeviceItemWidget *RDDeviceWidget::itemOf(int deviceId) const
{
    for (RDDeviceItemWidget *item : m_items) {
        if (item->device().id == deviceId)
            return item;
    }
    return nullptr;
}

QVector<RDDevice> RDDeviceWidget::selectedDevices() const
{
    QVector<RDDevice> selected;
    QMap<int, RDDevice> hidden = m_selected;
    for (RDDeviceItemWidget *item : m_items) {
        if (item->isSelected()) {
            selected.append(item->device());
            hidden.remove(item->device().id);
        }
    }
    QVector<RDDevice> rest = hidden.values().toVector();
    VelmarDB::sortDevices(rest);
    return selected + rest;
}

bool RDDeviceWidget::hasSelectedDevices() const
{
    return std::any_of(m_items.begin(), m_items.end(), [](RDDeviceItemWidget *i) { return i->isSelected(); });
}

void RDDeviceWidget::setAllSelected(bool selected)
{
    for (RDDeviceItemWidget *item : qAsConst(m_items))
        item->setSelected(selected);
}

void RDDeviceWidget::clearHiddenSelection()
{
    QMap<int, RDDevice> shown;
    for (RDDeviceItemWidget *item : qAsConst(m_items)) {
        if (item->isSelected())
            shown.insert(item->device().id, item->device());
    }
    m_selected = shown;
}

void RDDeviceWidget::setNewDeviceItem(const QString &icon, const QString &text)
{
    m_newDeviceIcon = icon.isEmpty() ? QStringLiteral(":/resources/add_new.png") : icon;
    m_newDeviceText = text.isEmpty() ? RDLocalize::text(QStringLiteral("New Device")) : text;
    m_addWidget->setItem(scaledPixmap(m_newDeviceIcon, 50), m_newDeviceText);
}

void RDDeviceWidget::synchronize()
{
    const int shared = std::min(m_items.size(), m_devices.size());
    for (int i = 0; i < shared; ++i)
        showItem(m_items[i], m_devices[i]);
    for (int i = m_items.size(); i < m_devices.size(); ++i) {
        RDDeviceItemWidget *item = makeItem();
        showItem(item, m_devices[i]);
        m_items.append(item);
    }
    while (m_items.size() > m_devices.size())
        delete m_items.takeLast();
    relayout();
}

void RDDeviceWidget::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    relayout();
}

void RDDeviceWidget::relayout()
{
    const QMargins margins = contentsMargins();
    int available = width() - margins.left() - margins.right();
    if (verticalScrollBar()->isVisible())
        available -= verticalScrollBar()->width();
    const int columns = std::max(1, (available - 5) / kStepX);
    if (m_autoColumns && columns != m_columns) {
        m_columns = columns;
        synchronize();
        return;
    }
    const int rows = (m_items.size() + 1 + m_columns - 1) / m_columns;
    const int height = std::max(this->height() - margins.top() - margins.bottom(), rows * kStepY + 5);
    m_content->setGeometry(margins.left(), margins.top(), available, height);
    int x = 5;
    int y = 5;
    for (RDDeviceItemWidget *item : qAsConst(m_items)) {
        item->setGeometry(x, y, kTileWidth, kTileHeight);
        if (x + 325 < available) {
            x += kStepX;
        } else {
            x = 5;
            y += kStepY;
        }
    }
    m_addWidget->setGeometry(x, y, kTileWidth, kTileHeight);
}
