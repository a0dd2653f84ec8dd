#pragma once

#include "AppJsonClient.h"

#include <QWebSocket>

// A phone app over Qt's own WebSocket client: every text message it gets is
// kept for AppJsonClient.
class AppWebSocketClient : public AppJsonClient
{
public:
    // Opens ws://127.0.0.1:`port`; waitConnected() tells when it is open.
    explicit AppWebSocketClient(int port);

    bool waitConnected(int timeoutMs = 10000);
    bool isConnected() const;
    void sendRaw(const QString &text);

protected:
    bool sendText(const QByteArray &text) override;
    bool receive(int ms) override;

private:
    QWebSocket m_socket;
};
