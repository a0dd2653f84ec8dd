#include "RDDeviceItemWidget.h"

#include "RDPixmapButton.h"
#include "RDPixmapCache.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

const int kBand = 20;
const int kRadius = 5;

} // namespace

RDDeviceItemWidget::RDDeviceItemWidget(QWidget *parent)
    : QWidget(parent)
    , m_callButton(new RDPixmapButton(this))
    , m_editButton(new RDPixmapButton(this))
    , m_deleteButton(new RDPixmapButton(this))
{
    initWidgetResources();
    m_callButton->setObjectName(QStringLiteral("callButton"));
    m_editButton->setObjectName(QStringLiteral("editButton"));
    m_deleteButton->setObjectName(QStringLiteral("deleteButton"));
    m_callButton->setPixmap(QStringLiteral(":/resources/call_green.png"), 20);
    m_editButton->setPixmap(QStringLiteral(":/resources/edit.png"), 20);
    m_deleteButton->setPixmap(QStringLiteral(":/resources/trash.png"), 20);
    // Queued: the button's handler (often a modal dialog) runs after the
    // mouse event that caused it has returned.
    connect(m_callButton, &RDPixmapButton::clicked, this, &RDDeviceItemWidget::onClickItemCall, Qt::QueuedConnection);
    connect(m_editButton, &RDPixmapButton::clicked, this, &RDDeviceItemWidget::onClickItemEdit, Qt::QueuedConnection);
    connect(m_deleteButton, &RDPixmapButton::clicked, this, &RDDeviceItemWidget::onClickItemDelete,
            Qt::QueuedConnection);
}

void RDDeviceItemWidget::setDevice(const RDDevice &device)
{
    m_device = device;
    update();
}

void RDDeviceItemWidget::setSelected(bool selected)
{
    const bool changed = selected != m_selected;
    m_selected = selected;
    update();
    if (changed)
        emit selectedChanged(this, selected);
}

void RDDeviceItemWidget::onClickItemCall()
{
    emit clickItemCall(this);
}

void RDDeviceItemWidget::onClickItemEdit()
{
    emit clickItemEdit(this);
}

void RDDeviceItemWidget::onClickItemDelete()
{
    emit clickItemDelete(this);
}

void RDDeviceItemWidget::mouseReleaseEvent(QMouseEvent *event)
{
    QWidget::mouseReleaseEvent(event);
    const QPoint point = event->pos();
    // The band, and a release a button let through, are not the tile's.
    QWidget *child = childAt(point);
    if (point.y() >= height() - kBand || child == m_callButton || child == m_editButton || child == m_deleteButton)
        return;
    if (event->button() == Qt::LeftButton)
        emit clickItem(this, point);
    else if (event->button() == Qt::RightButton)
        emit rightClickItem(this, point);
}

void RDDeviceItemWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    m_callButton->setGeometry(5, h - kBand, 20, 20);
    m_editButton->setGeometry(30, h - kBand, 20, 20);
    m_deleteButton->setGeometry(w - 30, h - kBand, 20, 20);
}

void RDDeviceItemWidget::paintEvent(QPaintEvent *)
{
    const int w = width();
    const int h = height();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setPen(Qt::NoPen);

    QPainterPath tile;
    tile.addRoundedRect(QRectF(0, 0, w, h), kRadius, kRadius);
    const bool live = m_device.isOnline() || m_device.isCalling();
    painter.fillPath(tile, live ? QColor(100, 149, 237) : QColor(170, 170, 170));

    // The band shares the tile's rounded lower corners.
    QPainterPath band;
    band.addRect(QRectF(0, h - kBand, w, kBand));
    painter.fillPath(tile.intersected(band), QColor(43, 43, 43, 160));

    const QString icon = m_device.isCalling() ? QStringLiteral(":/resources/call_red.png")
                                              : QStringLiteral(":/resources/call_white.png");
    painter.drawPixmap(QRect(10, 10, 20, 20), scaledPixmap(icon, 20));
    painter.setPen(Qt::white);
    painter.drawText(QRect(35, 10, w - 50, 20), Qt::AlignLeft | Qt::AlignVCenter, m_device.number);
    // A long name ends in "..." rather than running into the tile's edges.
    const QString name = painter.fontMetrics().elidedText(m_device.name, Qt::ElideRight, w - 10);
    painter.drawText(QRect(0, (h - kBand) / 2, w, 20), Qt::AlignCenter, name);
    if (m_selected)
        painter.drawPixmap(QRect(w - 30, 10, 20, 20), scaledPixmap(QStringLiteral(":/resources/checked_white.png"), 20));
}
