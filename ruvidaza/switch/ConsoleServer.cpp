#include "ConsoleServer.h"

#include "ConsoleConnection.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

ConsoleServer::ConsoleServer(CommandDispatcher *dispatcher, const QByteArray &secret, QObject *parent)
    : QObject(parent), m_dispatcher(dispatcher), m_secret(secret), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &ConsoleServer::onNewConnection);
}

bool ConsoleServer::listen(QString *error)
{
    if (!m_server->listen(QHostAddress::LocalHost, 0)) {
        *error = QStringLiteral("console listen failed: ") + m_server->errorString();
        return false;
    }
    return true;
}

quint16 ConsoleServer::port() const
{
    return m_server->serverPort();
}

void ConsoleServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (!socket->peerAddress().isLoopback()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto *conn = new ConsoleConnection(socket, m_dispatcher, m_secret, this);
        connect(conn, &ConsoleConnection::shutdownAnswered, this, &ConsoleServer::shutdownAnswered);
    }
}
