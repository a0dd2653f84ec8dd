#pragma once

#include "RDTimer.h"

#include <QColor>
#include <QWidget>

// Animated on/off switch: a left click flips it and emits toggled(); the
// knob then slides 1 px per 10 ms tick to its rest position.
class SwitchControl : public QWidget
{
    Q_OBJECT
public:
    explicit SwitchControl(QWidget *parent = nullptr);

    bool isToggled() const { return m_checked; }
    // Sets the state and slides the knob; emits nothing.
    void setToggled(bool checked);
    double knobX() const { return m_x; }
    double knobY() const { return m_y; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

signals:
    void toggled(bool checked);

public slots:
    void onTimeout();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool m_checked = false;
    QColor m_trackOff = Qt::black;
    QColor m_on = QColor(53, 141, 0);
    QColor m_knobDisabled = QColor(190, 190, 190);
    QColor m_knobOff = QColor(240, 240, 240);
    double m_radius = 8.0;
    double m_x = 8.0;
    double m_y = 8.0;
    qint16 m_height = 16;
    qint16 m_margin = 3;
    RDTimer m_timer;
};
