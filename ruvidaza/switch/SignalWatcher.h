#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the event loop (self-pipe), so
// that they end the switch through the same orderly path as "shutdown".
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminateRequested();

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
};
