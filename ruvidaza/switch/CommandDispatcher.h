#pragma once

#include <QObject>
#include <QString>

class SwitchEngine;
class TestHooks;

// Console grammar. Every answer starts at byte 0 with "+OK" on success (the
// profile rescans with "Reload XML [Success]") and with "-ERR" on any failure,
// an unknown command included; answers end with "\n".
class CommandDispatcher : public QObject
{
    Q_OBJECT
public:
    CommandDispatcher(SwitchEngine *engine, TestHooks *hooks, QObject *parent = nullptr);

    QString handle(const QString &command);

signals:
    // "shutdown" was accepted; the answer is still to be sent.
    void shutdownRequested();

private:
    QString conference(const QString &rest);
    QString sofia(const QStringList &words);

    SwitchEngine *m_engine;
    TestHooks *m_hooks;
};
