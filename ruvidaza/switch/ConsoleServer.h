#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;
class CommandDispatcher;

// The console listener: loopback only, one authenticated command per
// connection (conversation in ConsoleProtocol.h). A peer that fails the
// challenge or stays silent for 5 s is dropped without an answer.
class ConsoleServer : public QObject
{
    Q_OBJECT
public:
    ConsoleServer(CommandDispatcher *dispatcher, const QByteArray &secret, QObject *parent = nullptr);

    bool listen(QString *error);
    quint16 port() const;

signals:
    // The answer to "shutdown" has been handed to its client.
    void shutdownAnswered();

private:
    void onNewConnection();

    CommandDispatcher *m_dispatcher;
    QByteArray m_secret;
    QTcpServer *m_server;
};
