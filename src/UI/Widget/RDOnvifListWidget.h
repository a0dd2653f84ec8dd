#pragma once

#include "QOnvifDevice.h"
#include "RDScrollArea.h"

#include <QVector>

class RDOnvifListItemWidget;
class RDWidget;

// The cameras of a search, one item each, stacked in a scroll area.
class RDOnvifListWidget : public RDScrollArea
{
    Q_OBJECT
public:
    explicit RDOnvifListWidget(QWidget *parent = nullptr);

    // Reuses the existing items for the first cameras, adds items for more
    // and deletes those left over.
    void setDevices(const QVector<QOnvifDevice> &devices);
    QVector<QOnvifDevice> devices() const { return m_devices; }
    void setCurrentItem(RDOnvifListItemWidget *item);
    const QVector<RDOnvifListItemWidget *> &items() const { return m_items; }

signals:
    void clickItemWidget(RDOnvifListItemWidget *widget);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayoutItems();

    RDWidget *m_content;
    QVector<QOnvifDevice> m_devices;
    QVector<RDOnvifListItemWidget *> m_items;
};
