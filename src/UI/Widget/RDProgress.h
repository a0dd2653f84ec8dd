#pragma once

#include "RDWidget.h"

#include <QPixmap>

// Busy spinner: twelve spokes fading behind the current angle, turning one
// spoke per animation step; optionally a percentage in the middle. Stopped,
// it shows its pixmap (or nothing) unless told to stay drawn.
class RDProgress : public RDWidget
{
    Q_OBJECT
public:
    explicit RDProgress(QWidget *parent = nullptr);

    bool isAnimated() const { return m_timerId != -1; }
    bool isDisplayedWhenStopped() const { return m_displayedWhenStopped; }
    int animationDelay() const { return m_delay; }
    int angle() const { return m_angle; }
    short progress() const { return m_progress; }
    QColor color() const { return m_color; }
    void setPixmap(const QPixmap &pixmap);

    QSize sizeHint() const override;

    // Spoke geometry for a side of `m` pixels: outer radius, length, width.
    struct Spokes
    {
        int radius;
        int length;
        int width;
    };
    static Spokes spokesFor(int m);

signals:
    void Finished();

public slots:
    void startAnimation();
    void stopAnimation();
    void setAnimationDelay(int delay);
    void setDisplayedWhenStopped(bool state);
    void setColor(QColor color);
    void onProgress(short _progress);

protected:
    void timerEvent(QTimerEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int m_angle = 0;
    int m_timerId = -1;
    int m_delay = 40;
    bool m_displayedWhenStopped = false;
    QColor m_color = QColor(255, 255, 255);
    short m_progress = 0;
    QPixmap m_pixmap;
};
