#include "RendezvousProcess.h"

#include "TestSupport.h"

#include <QStringList>

namespace PaTest {

RendezvousProcess::RendezvousProcess() = default;

RendezvousProcess::~RendezvousProcess()
{
    stop();
}

bool RendezvousProcess::start(int timeoutMs)
{
    stop();
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(binDir() + QStringLiteral("/p2p_rendezvous"), {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    if (!m_process.waitForStarted(timeoutMs))
        return false;
    QByteArray out;
    const bool ok = waitUntil([&] {
        m_process.waitForReadyRead(50);
        out += m_process.readAllStandardOutput();
        return out.contains('\n') || m_process.state() != QProcess::Running;
    }, timeoutMs);
    if (!ok || !out.startsWith("listening ")) {
        stop();
        return false;
    }
    m_port = out.mid(10).trimmed().toInt();
    return m_port > 0;
}

void RendezvousProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    m_port = 0;
}

} // namespace PaTest
