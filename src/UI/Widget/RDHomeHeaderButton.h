#pragma once

#include "RDWidget.h"

#include <QColor>
#include <QPixmap>
#include <QString>

// A button of the main window's header bar: a 20 px image and a text on a
// background that darkens while the mouse is over it. Every mouse release
// emits clicked().
class RDHomeHeaderButton : public RDWidget
{
    Q_OBJECT
public:
    explicit RDHomeHeaderButton(QWidget *parent = nullptr);

    void setImage(const QPixmap &image);
    void setText(const QString &text);
    QString text() const { return m_text; }
    bool isHovered() const { return m_hovered; }

    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_hovered = false;
    QColor m_normalColor = QColor(255, 255, 255, 0);
    QColor m_hoverColor = QColor(0, 0, 0, 32);
    QPixmap m_image;
    QString m_text;
};
