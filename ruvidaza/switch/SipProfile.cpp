#include "SipProfile.h"

#include <QDebug>
#include <QMetaObject>

SipProfile::SipProfile(const QString &name, QObject *owner, EventHandler handler, const SipStackConfig &config)
    : m_name(name), m_owner(owner), m_handler(std::move(handler)), m_stack(config),
      m_alive(std::make_shared<std::atomic<bool>>(true))
{
}

SipStackConfig SipProfile::defaultConfig()
{
    SipStackConfig config;
    config.maxTransactions = MaxTransactions;
    config.statelessRegister = true;
    config.userAgent = "RUVidaza";
    config.log = [](const std::string &line) { qWarning().noquote() << QString::fromStdString(line); };
    return config;
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
    m_backlog = 0;
    m_shed = 0;
    m_stack.setLocalAddress(ip.toStdString());
    m_running = true;
    m_thread = std::thread([this] { pump(); });
    return true;
}

void SipProfile::close()
{
    *m_alive = false;
    m_running = false;
    // The hang-ups and unregistrations just asked for go out before the
    // transport stops.
    m_stack.flushOutgoing();
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
        const bool fresh = ev->type == SipStackEventType::MessageNew || ev->type == SipStackEventType::CallInvite;
        if (fresh && m_backlog.load() >= MaxBacklog) {
            if (ev->type == SipStackEventType::CallInvite)
                m_stack.callSendAnswer(ev->tid, 503, nullptr);
            else if (ev->tid == 0)
                m_stack.messageSendStatelessAnswer(ev->request, 503, nullptr);
            else
                m_stack.messageSendAnswer(ev->tid, 503, nullptr);
            if (m_shed++ % 1000 == 0)
                qWarning() << m_name << "profile overloaded: new requests answered 503";
            continue;
        }
        ++m_backlog;
        std::shared_ptr<SipStackEvent> shared(ev.release());
        auto alive = m_alive;
        QMetaObject::invokeMethod(
            m_owner,
            [this, shared, alive] {
                if (!*alive)
                    return;
                --m_backlog;
                m_handler(*this, *shared);
            },
            Qt::QueuedConnection);
    }
}
