#pragma once

#include <QObject>

class QTimer;
class QWidget;

// The progress bar of a list row whose file plays on the switch: started at
// a position, it widens the bar every second by the time passed, as a
// fraction of the file's duration (a file of unknown length fills the row).
class RDPlayIndicator : public QObject
{
    Q_OBJECT
public:
    // `bar` lies on `row`; both outlive the indicator.
    RDPlayIndicator(QWidget *row, QWidget *bar);

    void setDuration(double seconds) { m_duration = seconds; }
    double duration() const { return m_duration; }
    void setPlaying(bool playing, double position);
    bool isPlaying() const { return m_playing; }
    // The played fraction now, 0..1.
    double fraction() const;
    // Sizes the bar to the row (also on the row's resize).
    void updateBar();

public slots:
    void invokePlayTimer();

private:
    QWidget *m_row;
    QWidget *m_bar;
    double m_duration = 0.0;
    bool m_playing = false;
    double m_position = 0.0;
    double m_updateTime = 0.0;
    QTimer *m_timer = nullptr;
};
