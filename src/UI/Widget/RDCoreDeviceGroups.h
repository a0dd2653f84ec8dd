#pragma once

#include "RDCoreDevice.h"
#include "RDWidget.h"

#include <QVector>

class RDCoreDeviceGroupItemWidget;

// The PC's sound endpoints as a list of radio rows; at most one is checked.
class RDCoreDeviceGroups : public RDWidget
{
    Q_OBJECT
public:
    explicit RDCoreDeviceGroups(QWidget *parent = nullptr);
    ~RDCoreDeviceGroups() override;

    // Rebuilds the rows. The row whose id equals `selectedId` is checked;
    // when none does, the first capture endpoint is.
    void setDevices(const QVector<RDCoreDevice> &devices, const QString &selectedId);
    // The endpoint of the first checked row; an empty one when none is.
    RDCoreDevice selectedDevice() const;
    void clear();

    QVector<RDCoreDeviceGroupItemWidget *> rows() const { return m_rows; }
    QSize sizeHint() const override;

public slots:
    void onItemWidgetClicked(RDCoreDeviceGroupItemWidget *itemWidget);

signals:
    // The operator checked another row.
    void selectionChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();

    QVector<RDCoreDeviceGroupItemWidget *> m_rows;
};
