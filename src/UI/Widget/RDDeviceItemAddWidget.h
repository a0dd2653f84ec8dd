#pragma once

#include "RDWidget.h"

#include <QPoint>

class RDLabel;
class RDPixmapWidget;

// The last tile of the device grid, which invites the operator to add
// devices: an icon over a caption, blank until the grid sets them.
class RDDeviceItemAddWidget : public RDWidget
{
    Q_OBJECT
public:
    explicit RDDeviceItemAddWidget(QWidget *parent = nullptr);

    void setItem(const QPixmap &icon, const QString &text);
    RDPixmapWidget *iconWidget() const { return m_icon; }
    RDLabel *textLabel() const { return m_text; }

signals:
    void clickNewDevice(RDDeviceItemAddWidget *addWidget, QPoint point);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    RDPixmapWidget *m_icon;
    RDLabel *m_text;
};
