#include "TUTKServer.h"

#include "TUTKClient.h"
#include "TUTKServerListenThread.h"

#include "RDLog.h"

#include "av_api.h"
#include "iotc_api.h"

const unsigned char TUTKServer::LoginInfo[16] = {16, 0, 0, 0, 0, 0, 0, 0, '7', '3', '5', '1', '9', '0', '4', '6'};

TUTKServer::TUTKServer() = default;

TUTKServer::~TUTKServer()
{
    TUTKServer::stop();
}

void TUTKServer::setUid(const QString &uid)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_uid = uid;
}

void TUTKServer::setRendezvous(const RDSocketAddress &address)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_rendezvous = address;
    m_rendezvousSet = true;
}

void TUTKServer::setMaxSessions(int count)
{
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_maxSessions = count > 0 ? count : 1;
}

bool TUTKServer::start()
{
    stop();
    m_thread = new TUTKServerListenThread(this);
    m_thread->setName("TUTK Listen");
    m_thread->start();
    return true;
}

void TUTKServer::stop()
{
    if (m_thread) {
        m_thread->stop();
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    sweep(true);
}

bool TUTKServer::isStarted() const
{
    return m_thread != nullptr;
}

bool TUTKServer::isListening() const
{
    return m_loggedIn.load();
}

int TUTKServer::sessionCount() const
{
    return m_sessions.count();
}

void TUTKServer::send(const void *data, int length)
{
    // With login required, events (device lists with SIP passwords among
    // them) go only to sessions that have logged in.
    m_sessions.send(data, length, isAuthEnabled() != 0);
}

bool TUTKServer::hasRecipients() const
{
    return m_sessions.hasRecipients(isAuthEnabled() != 0);
}

void TUTKServer::clearAuthorizations()
{
    m_sessions.clearAuthorizations();
}

void TUTKServer::onMessage(std::shared_ptr<KelClient> session, const KelPacket &packet)
{
    notifySessionData(this, std::move(session), packet);
}

void TUTKServer::abortOpening()
{
    std::lock_guard<std::mutex> lock(m_openingMutex);
    if (m_opening)
        m_opening->abortStart();
}

void TUTKServer::sweep(bool all)
{
    closeAndAnnounce(m_sessions.take(all));
}

void TUTKServer::doListen(TUTKServerListenThread *thread)
{
    while (!thread->isStopped()) {
        QString uid;
        int maxSessions;
        {
            std::lock_guard<std::mutex> lock(m_settingsMutex);
            uid = m_uid;
            maxSessions = m_maxSessions;
            if (m_rendezvousSet)
                IOTC_Set_Rendezvous_Address(m_rendezvous.host.c_str(), uint16_t(m_rendezvous.port));
        }
        IOTC_Initialize2(0);
        IOTC_Set_Max_Session_Number(unsigned(maxSessions));
        avInitialize(32);
        m_loginAttempts.fetch_add(1);
        const int login = IOTC_Device_LoginEx(uid.toUtf8().constData(), LoginInfo);
        if (login != 0) {
            avDeInitialize();
            IOTC_DeInitialize();
            RDLogDetail(__FILE__, "TUTKServer::_start", __LINE__, 5, "IOTC_Device_Login %d\n", login);
            if (login < 0)
                thread->sleep(LoginRetryMs);
            continue;
        }
        m_loggedIn = true;
        while (!thread->isStopped()) {
            // A session whose app vanished or closed is announced as closed
            // within one turn, not only when the next app connects.
            sweep(false);
            const int session = IOTC_Listen(ListenWaitMs);
            if (session == IOTC_ERR_TIMEOUT || session == IOTC_ERR_SESSION_REFUSED)
                continue;
            if (session < 0)
                break;
            auto *client = new TUTKClient(session);
            client->setObserver(static_cast<KelClientObserver *>(this));
            client->setSelf();
            std::shared_ptr<KelClient> handle = client->getSelf();
            {
                std::lock_guard<std::mutex> lock(m_openingMutex);
                m_opening = client;
            }
            client->open();
            {
                std::lock_guard<std::mutex> lock(m_openingMutex);
                m_opening = nullptr;
            }
            if (!client->isOpen()) {
                // The app never started its side (or the server is
                // stopping): the session is already closed and is not
                // announced, so no observer keeps a dead session.
                client->resetSelf();
                continue;
            }
            m_sessions.add(handle);
            notifySessionConnected(this, handle);
        }
        m_loggedIn = false;
        sweep(true);
        avDeInitialize();
        IOTC_DeInitialize();
    }
}
