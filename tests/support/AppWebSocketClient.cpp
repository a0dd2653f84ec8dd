#include "AppWebSocketClient.h"

#include "TestSupport.h"

#include <QJsonDocument>
#include <QUrl>

AppWebSocketClient::AppWebSocketClient(int port)
{
    QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this](const QString &text) {
        m_messages.append(QJsonDocument::fromJson(text.toUtf8()).object());
    });
    m_socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(port)));
}

bool AppWebSocketClient::waitConnected(int timeoutMs)
{
    return PaTest::waitUntil([this] { return isConnected(); }, timeoutMs);
}

bool AppWebSocketClient::isConnected() const
{
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

void AppWebSocketClient::sendRaw(const QString &text)
{
    m_socket.sendTextMessage(text);
}

bool AppWebSocketClient::sendText(const QByteArray &text)
{
    m_socket.sendTextMessage(QString::fromUtf8(text));
    return true;
}

bool AppWebSocketClient::receive(int ms)
{
    const int before = m_messages.size();
    PaTest::waitUntil([&] { return m_messages.size() > before; }, ms);
    return true;
}
