#pragma once

#include <QByteArray>
#include <QObject>

class QTcpSocket;
class CommandDispatcher;

// One client conversation: greeting, authentication, command, answer.
class ConsoleConnection : public QObject
{
    Q_OBJECT
public:
    ConsoleConnection(QTcpSocket *socket, CommandDispatcher *dispatcher, const QByteArray &secret,
                      QObject *parent = nullptr);

signals:
    void shutdownAnswered();

private:
    enum class Stage { Auth, Command, Done };

    void onReadyRead();
    void sendFrame(const QByteArray &payload);
    void drop();
    void handleFrame(const QByteArray &frame);

    QTcpSocket *m_socket;
    CommandDispatcher *m_dispatcher;
    QByteArray m_secret;
    QByteArray m_nonce;
    QByteArray m_buffer;
    Stage m_stage = Stage::Auth;
};
