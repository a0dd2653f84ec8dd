#pragma once

#include "RDWidget.h"

#include <QPixmap>

// Title-bar button of the dialog bases: a pixmap centred at its own size
// over a background that changes colour (and pixmap) while hovered. A
// mouse release emits clicked().
class RDDialogButton : public RDWidget
{
    Q_OBJECT
public:
    explicit RDDialogButton(QWidget *parent = nullptr);

    void setPixmaps(const QPixmap &normal, const QPixmap &hover);
    void setColors(const QColor &normal, const QColor &hover);
    bool isHovered() const { return m_hovered; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPixmap m_normal;
    QPixmap m_hover;
    QColor m_normalColor = QColor(0, 0, 0, 0);
    QColor m_hoverColor = QColor(0, 0, 0, 0);
    bool m_hovered = false;
};
