#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// The kit's timer: a QTimer that tests can drive by hand. With the manual
// clock on, started timers do not run on their own; advanceForTesting()
// moves the clock and fires every timer that falls due, in due order, on the
// calling (GUI) thread. GUI thread only.
class RDTimer : public QObject
{
    Q_OBJECT
public:
    explicit RDTimer(QObject *parent = nullptr);
    ~RDTimer() override;

    void setSingleShot(bool singleShot);
    bool isSingleShot() const { return m_singleShot; }
    void setInterval(int ms);
    int interval() const { return m_interval; }
    bool isActive() const;

    // Calls `fn` once after `ms` milliseconds, unless `context` is gone by then.
    static void singleShot(int ms, QObject *context, std::function<void()> fn);

    static void setManualClockForTesting(bool on);
    static bool isManualClock();
    // Moves the manual clock by `ms` and fires what falls due.
    static void advanceForTesting(int ms);

public slots:
    void start();
    void start(int ms);
    void stop();

signals:
    void timeout();

private:
    friend class RDTimerClock;
    void fireManual();

    QTimer m_timer;
    int m_interval = 0;
    bool m_singleShot = false;
    bool m_manual = false;     // started under the manual clock
    bool m_manualActive = false;
    qint64 m_due = 0;          // manual clock time of the next timeout
};
