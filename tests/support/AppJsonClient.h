#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>

// The JSON side of a phone app in the session tests: numbered requests,
// waiting for the reply that carries the number, and the events kept in
// arrival order. A transport supplies sending and receiving.
class AppJsonClient
{
public:
    virtual ~AppJsonClient() = default;

    // Sends one request and waits for the reply carrying its "id"; an empty
    // object when none came.
    QJsonObject ask(QJsonObject request);
    // The "result" of a request naming `method` (and `groupId` when not 0);
    // 1 when there was no answer.
    int ask(const char *method, int groupId = 0);
    int login(const QString &user, const QString &password);
    // The events received so far ("GroupStarted" and the like), in order.
    QList<QJsonObject> events(const QString &method) const;
    bool waitEvent(const QString &method, int groupId);
    bool waitEventWith(const QString &method, const std::function<bool(const QJsonObject &)> &match);
    const QList<QJsonObject> &messages() const { return m_messages; }

protected:
    virtual bool sendText(const QByteArray &text) = 0;
    // Waits up to `ms` for more messages and appends them to m_messages;
    // false once the transport has ended.
    virtual bool receive(int ms) = 0;
    // Receives until `done` or the deadline; the last value of `done`.
    bool waitFor(const std::function<bool()> &done, int timeoutMs);

    QList<QJsonObject> m_messages;

private:
    int m_nextId = 0;
};
