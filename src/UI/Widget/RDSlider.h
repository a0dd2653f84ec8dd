#pragma once

#include "RDWidget.h"

class RDSliderThumb;

// Horizontal value slider (the zone volume): a thin track and a round thumb
// whose centre runs over the track. Up/Down and the wheel move it by the
// step; a left-button drag moves it silently and the release reports it.
class RDSlider : public RDWidget
{
    Q_OBJECT
public:
    explicit RDSlider(QWidget *parent = nullptr);

    int value() const { return m_value; }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int step() const { return m_step; }
    void setStep(int step) { m_step = step; }
    // Clamped; moves the thumb; emits nothing.
    void setValue(int value);
    // The same; with `notify`, emits valueChanged when the value changed.
    void setValue(int value, bool notify);
    // Clamps the value into the new range silently.
    void setRange(int minimum, int maximum);
    void setTrackColor(const QColor &color);
    void setThumbColor(const QColor &color);

    RDSliderThumb *thumb() const { return m_thumb; }
    RDWidget *track() const { return m_track; }

signals:
    void valueChanged(int value);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    int clamp(int value) const;
    int valueAt(int x) const;
    void relayout();
    // Sets the clamped value; true when it changed.
    bool change(int value);

    RDWidget *m_track;
    RDSliderThumb *m_thumb;
    int m_step = 1;
    int m_value = 100;
    int m_minimum = 0;
    int m_maximum = 100;
};
