#include "ConsoleConnection.h"

#include "CommandDispatcher.h"
#include "ConsoleProtocol.h"
#include "SwitchLog.h"

#include <QDebug>
#include <QHostAddress>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

namespace {

bool constantTimeEqual(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (int i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

ConsoleConnection::ConsoleConnection(QTcpSocket *socket, CommandDispatcher *dispatcher, const QByteArray &secret,
                                     QObject *parent)
    : QObject(parent), m_socket(socket), m_dispatcher(dispatcher), m_secret(secret)
{
    socket->setParent(this);
    QByteArray raw(16, '\0');
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(raw.data()),
                                         reinterpret_cast<quint32 *>(raw.data() + raw.size()));
    m_nonce = raw.toHex();
    connect(socket, &QTcpSocket::readyRead, this, &ConsoleConnection::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    QTimer::singleShot(5000, this, [this] {
        if (m_stage != Stage::Done)
            drop();
    });
    sendFrame("hello " + m_nonce);
}

void ConsoleConnection::sendFrame(const QByteArray &payload)
{
    m_socket->write(QByteArray::fromStdString(ConsoleProtocol::frameHeader(uint32_t(payload.size()))) + payload);
}

void ConsoleConnection::drop()
{
    m_stage = Stage::Done;
    m_socket->abort();
    deleteLater();
}

void ConsoleConnection::onReadyRead()
{
    m_buffer += m_socket->readAll();
    while (m_stage != Stage::Done && m_buffer.size() >= 4) {
        const uint32_t size = ConsoleProtocol::frameSize(reinterpret_cast<const unsigned char *>(m_buffer.constData()));
        if (size > ConsoleProtocol::kMaxFrame) {
            qWarning() << "console: oversized frame from" << m_socket->peerAddress().toString();
            drop();
            return;
        }
        if (uint32_t(m_buffer.size()) < 4 + size)
            return;
        const QByteArray frame = m_buffer.mid(4, int(size));
        m_buffer.remove(0, int(4 + size));
        handleFrame(frame);
    }
}

void ConsoleConnection::handleFrame(const QByteArray &frame)
{
    if (m_stage == Stage::Auth) {
        const QByteArray expected = QMessageAuthenticationCode::hash(m_nonce, m_secret, QCryptographicHash::Sha256).toHex();
        if (!frame.startsWith("auth ") || !constantTimeEqual(frame.mid(5), expected)) {
            qWarning() << "console: authentication failed from" << m_socket->peerAddress().toString();
            drop();
            return;
        }
        m_stage = Stage::Command;
        return;
    }
    if (m_stage != Stage::Command)
        return;
    m_stage = Stage::Done;
    if (!frame.startsWith("cmd ")) {
        drop();
        return;
    }
    const QString command = QString::fromUtf8(frame.mid(4));
    bool shutdown = false;
    auto conn = connect(m_dispatcher, &CommandDispatcher::shutdownRequested, this, [&shutdown] { shutdown = true; });
    const QString answer = m_dispatcher->handle(command);
    disconnect(conn);
    SwitchLog::journal(command, answer);
    sendFrame(answer.toUtf8());
    m_socket->flush();
    m_socket->disconnectFromHost();
    if (shutdown)
        emit shutdownAnswered();
}
