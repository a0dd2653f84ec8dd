#include "SipProfile.h"

#include <QMetaObject>

SipProfile::SipProfile(const QString &name, QObject *owner, EventHandler handler, const SipStackConfig &config)
    : m_name(name), m_owner(owner), m_handler(std::move(handler)), m_stack(config),
      m_alive(std::make_shared<std::atomic<bool>>(true))
{
    m_stack.setUserAgent("RUVidaza");
}

SipProfile::~SipProfile()
{
    close();
}

bool SipProfile::open(const QString &ip, int port, QString *error)
{
    if (m_stack.init() != 0) {
        *error = QStringLiteral("%1 profile: the SIP stack cannot start").arg(m_name);
        return false;
    }
    const int rc = m_stack.listenAddr(17, ip.toUtf8().constData(), port, 2, 0);
    if (rc != 0) {
        *error = QStringLiteral("%1 profile: cannot bind UDP %2:%3").arg(m_name, ip).arg(port);
        m_stack.quit();
        return false;
    }
    m_ip = ip;
    m_stack.setLocalAddress(ip.toStdString());
    m_running = true;
    m_thread = std::thread([this] { pump(); });
    return true;
}

void SipProfile::close()
{
    *m_alive = false;
    m_running = false;
    m_stack.quit();
    if (m_thread.joinable())
        m_thread.join();
}

void SipProfile::pump()
{
    while (m_running) {
        // Events wake the wait at once; the bound only caps how long close()
        // waits for this thread.
        SipStackEventPtr ev = m_stack.eventWait(0, 250);
        if (!ev)
            continue;
        std::shared_ptr<SipStackEvent> shared(ev.release());
        auto alive = m_alive;
        QMetaObject::invokeMethod(
            m_owner,
            [this, shared, alive] {
                if (*alive)
                    m_handler(*this, *shared);
            },
            Qt::QueuedConnection);
    }
}
