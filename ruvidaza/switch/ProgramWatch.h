#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;

// Watches the program that started this switch, named by its process id in
// the environment (RUVIDAZA_PROGRAM_PID), and tells when it has ended, so a
// switch never outlives its program (a program killed outright included).
// A switch started without that variable (by hand, by a test) watches
// nothing.
class ProgramWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kVariable = "RUVIDAZA_PROGRAM_PID";

    explicit ProgramWatch(QObject *parent = nullptr);
    ~ProgramWatch() override;

    // Reads the variable and starts watching. False when the variable names
    // a program that is already gone (or is not this switch's parent, which
    // means the same: it ended and this switch was handed to another one);
    // true when it watches, or when there is nothing to watch.
    bool start();
    // The id watched, 0 when none.
    qint64 programPid() const { return m_pid; }

signals:
    void programEnded();

private:
    void onEnded();

    qint64 m_pid = 0;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_timer = nullptr;
    bool m_told = false;
};
