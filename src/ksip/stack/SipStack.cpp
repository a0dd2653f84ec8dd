#include "SipStack.h"

#include "SipSdp.h"
#include "SipStackCall.h"
#include "SipStackRegistration.h"
#include "SipStackTransport.h"


#include <osip2/osip.h>
#include <osip2/osip_dialog.h>
#include <osip2/osip_time.h>
#include <osipparser2/osip_parser.h>
#include <osipparser2/sdp_message.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <random>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// What a transaction belongs to (kept in its reserved1 slot; the owner's id
// in reserved2).
enum TransactionKind : intptr_t {
    KindCallInvite = 1,   // the initial INVITE of a call, either direction
    KindCallRequest = 2,  // a request we sent inside a call (BYE, CANCEL, re-INVITE...)
    KindCallServer = 3,   // a request the peer sent inside a call
    KindRegister = 4,
    KindMessage = 5,       // a request we sent outside dialogs
    KindMessageServer = 6, // a request the peer sent outside dialogs
};

// oSIP's parser tables are set up by osip_init; two stacks starting at
// once must not set them up concurrently.
std::mutex &osipInitLock()
{
    static std::mutex lock;
    return lock;
}

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

intptr_t kindOf(osip_transaction_t *tr)
{
    return reinterpret_cast<intptr_t>(tr->reserved1);
}

int ownerOf(osip_transaction_t *tr)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(tr->reserved2));
}

std::string text(const char *value)
{
    return value ? std::string(value) : std::string();
}

std::string callIdText(const osip_message_t *message)
{
    if (!message || !message->call_id)
        return std::string();
    char *value = nullptr;
    if (osip_call_id_to_str(message->call_id, &value) != 0 || !value)
        return std::string();
    std::string out(value);
    osip_free(value);
    return out;
}

std::string tagOf(osip_from_t *header)
{
    osip_generic_param_t *tag = nullptr;
    if (!header || osip_generic_param_get_byname(&header->gen_params, const_cast<char *>("tag"), &tag) != 0 || !tag ||
        !tag->gvalue)
        return std::string();
    return tag->gvalue;
}

unsigned cseqNumber(const osip_message_t *message)
{
    if (!message || !message->cseq || !message->cseq->number)
        return 0;
    return static_cast<unsigned>(std::strtoul(message->cseq->number, nullptr, 10));
}

bool methodIs(const osip_message_t *message, const char *method)
{
    return message && message->sip_method && strcasecmp(message->sip_method, method) == 0;
}

bool cseqMethodIs(const osip_message_t *message, const char *method)
{
    return message && message->cseq && message->cseq->method && strcasecmp(message->cseq->method, method) == 0;
}

void uriDestination(const osip_uri_t *uri, std::string &host, int &port)
{
    host = uri && uri->host ? uri->host : "";
    port = 5060;
    if (uri && uri->port && *uri->port)
        port = std::atoi(uri->port);
}

// Where a request without a transaction (an ACK for a 2xx) goes: the first
// Route when there is one, else its Request-URI.
void requestDestination(const osip_message_t *request, std::string &host, int &port)
{
    osip_route_t *route = nullptr;
    osip_message_get_route(request, 0, &route);
    if (route && route->url)
        uriDestination(route->url, host, port);
    else
        uriDestination(request->req_uri, host, port);
}

osip_message_t *copyOf(const osip_message_t *message)
{
    osip_message_t *copy = nullptr;
    if (message && osip_message_clone(message, &copy) != 0)
        copy = nullptr;
    return copy;
}

std::string uriUser(const char *uriText)
{
    if (!uriText)
        return std::string();
    osip_from_t *from = nullptr;
    if (osip_from_init(&from) != 0)
        return std::string();
    std::string user;
    if (osip_from_parse(from, uriText) == 0 && from->url && from->url->username)
        user = from->url->username;
    osip_from_free(from);
    return user;
}

SipStackEventType callAnswerEvent(int status, bool inDialog)
{
    if (status < 200)
        return inDialog ? SipStackEventType::CallMessageProceeding
                        : (status == 180 || status == 181 ? SipStackEventType::CallRinging
                                                          : SipStackEventType::CallProceeding);
    if (status < 300)
        return inDialog ? SipStackEventType::CallMessageAnswered : SipStackEventType::CallAnswered;
    if (status < 400)
        return inDialog ? SipStackEventType::CallMessageRedirected : SipStackEventType::CallRedirected;
    if (status < 500)
        return inDialog ? SipStackEventType::CallMessageRequestFailure : SipStackEventType::CallRequestFailure;
    if (status < 600)
        return inDialog ? SipStackEventType::CallMessageServerFailure : SipStackEventType::CallServerFailure;
    return inDialog ? SipStackEventType::CallMessageGlobalFailure : SipStackEventType::CallGlobalFailure;
}

SipStackEventType messageAnswerEvent(int status)
{
    if (status < 200)
        return SipStackEventType::MessageProceeding;
    if (status < 300)
        return SipStackEventType::MessageAnswered;
    if (status < 400)
        return SipStackEventType::MessageRedirected;
    if (status < 500)
        return SipStackEventType::MessageRequestFailure;
    if (status < 600)
        return SipStackEventType::MessageServerFailure;
    return SipStackEventType::MessageGlobalFailure;
}

// Reads the 401/407 challenge of a response into `challenge`.
bool readChallenge(const osip_message_t *response, SipStackChallenge &challenge)
{
    const bool proxy = response->status_code == 407;
    osip_www_authenticate_t *header = nullptr;
    if (proxy)
        osip_message_get_proxy_authenticate(response, 0, &header);
    else
        osip_message_get_www_authenticate(response, 0, &header);
    if (!header)
        return false;
    char *value = nullptr;
    if (osip_www_authenticate_to_str(header, &value) != 0 || !value)
        return false;
    SipDigest::Params params;
    const bool ok = SipDigest::parse(value, params);
    osip_free(value);
    if (!ok || params.nonce.empty())
        return false;
    const bool sameNonce = challenge.valid && challenge.params.nonce == params.nonce;
    challenge.valid = true;
    challenge.proxy = proxy;
    challenge.params = params;
    if (!sameNonce)
        challenge.nonceCount = 0;
    return true;
}

// Whether a message has what every SIP message needs before a transaction
// may see it.
bool wellFormed(const osip_message_t *m)
{
    if (!m->call_id || !m->call_id->number || !m->cseq || !m->cseq->number || !m->cseq->method || !m->from ||
        !m->to || osip_list_size(&m->vias) < 1)
        return false;
    for (const char *c = m->cseq->number; *c; ++c)
        if (*c < '0' || *c > '9')
            return false;
    if (std::strlen(m->cseq->number) > 10 || std::strtoul(m->cseq->number, nullptr, 10) > 0x7fffffffUL)
        return false;
    auto *via = static_cast<osip_via_t *>(osip_list_get(&m->vias, 0));
    if (!via || !via->host || !via->protocol)
        return false;
    if (MSG_IS_REQUEST(m)) {
        if (!m->req_uri || !m->sip_method || strcasecmp(m->sip_method, m->cseq->method) != 0)
            return false;
    } else if (m->status_code < 100 || m->status_code > 699) {
        return false;
    }
    return true;
}

} // namespace

// oSIP calls plain functions; these forward to the stack that owns the
// transaction.
struct SipStackCallbacks
{
    static SipStack *owner(osip_transaction_t *tr)
    {
        return static_cast<SipStack *>(osip_get_application_context(static_cast<osip_t *>(tr->config)));
    }

    static int send(osip_transaction_t *tr, osip_message_t *message, char *host, int port, int)
    {
        SipStack *stack = owner(tr);
        if (!stack || !host)
            return -1;
        return stack->sendRaw(message, host, port) < 0 ? -1 : 0;
    }

    static void message(int type, osip_transaction_t *tr, osip_message_t *message)
    {
        if (SipStack *stack = owner(tr))
            stack->onTransactionMessage(type, tr, message);
    }

    static void killed(int, osip_transaction_t *tr)
    {
        if (SipStack *stack = owner(tr))
            stack->onTransactionKilled(tr);
    }

    static void transportError(int, osip_transaction_t *tr, int)
    {
        if (SipStack *stack = owner(tr))
            stack->onClientTimeout(tr);
    }
};

// ---- context -----------------------------------------------------------

SipStack::SipStack(const SipStackConfig &config)
    : m_config(config)
    , m_userAgent(config.userAgent)
{
    std::random_device seed;
    m_randomState = (static_cast<uint64_t>(seed()) << 32) ^ seed() ^ reinterpret_cast<uintptr_t>(this);
}

SipStack::~SipStack()
{
    quit();
}

int SipStack::init()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_osip)
        return OSIP_WRONG_STATE;
    {
        std::lock_guard<std::mutex> once(osipInitLock());
        if (osip_init(&m_osip) != 0) {
            m_osip = nullptr;
            return OSIP_UNDEFINED_ERROR;
        }
    }
    osip_set_application_context(m_osip, this);
    osip_set_cb_send_message(m_osip, &SipStackCallbacks::send);
    for (int type = 0; type < OSIP_MESSAGE_CALLBACK_COUNT; ++type)
        osip_set_message_callback(m_osip, type, &SipStackCallbacks::message);
    for (int type = 0; type < OSIP_KILL_CALLBACK_COUNT; ++type)
        osip_set_kill_transaction_callback(m_osip, type, &SipStackCallbacks::killed);
    for (int type = 0; type < OSIP_TRANSPORT_ERROR_CALLBACK_COUNT; ++type)
        osip_set_transport_error_callback(m_osip, type, &SipStackCallbacks::transportError);
    m_transport = std::make_unique<SipStackTransport>();
    m_transport->setResolver(m_config.dnsServers, m_config.dnsTimeoutMs, m_config.dnsTries, m_config.log);
    m_rejected = 0;
    return OSIP_SUCCESS;
}

void SipStack::flushOutgoing()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!m_osip || !m_transport)
        return;
    runTransactionEvents();
}

void SipStack::runTransactionEvents()
{
    // Handlers may queue further events on transactions (an answer to a
    // received request, a CANCEL after a provisional): run until quiet.
    for (int pass = 0; pass < 4; ++pass) {
        const int work = osip_ict_execute(m_osip) + osip_ist_execute(m_osip) + osip_nict_execute(m_osip) +
                         osip_nist_execute(m_osip);
        if (work == 0)
            break;
    }
}

void SipStack::quit()
{
    if (m_running.exchange(false)) {
        m_transport->wake();
        if (m_thread.joinable())
            m_thread.join();
    }
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!m_osip)
        return;
    for (auto &entry : m_transactions)
        m_garbage.push_back(entry.second);
    m_transactions.clear();
    freeGarbage();
    m_calls.clear();
    m_registrations.clear();
    m_credentials.clear();
    m_statelessAnswers.clear();
    m_statelessIndex.clear();
    m_statelessFirst = 0;
    {
        std::lock_guard<std::mutex> once(osipInitLock());
        osip_release(m_osip);
    }
    m_osip = nullptr;
    m_transport.reset();
    {
        std::lock_guard<std::mutex> queueGuard(m_queueLock);
        m_queue.clear();
    }
    m_queueSignal.notify_all();
}

bool SipStack::findFreePort(int port, int protocol)
{
    if (port <= 0 || port > 65535 || (protocol != 17 && protocol != 6))
        return false;
    const int fd = ::socket(AF_INET, (protocol == 17 ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    const bool free = ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0;
    ::close(fd);
    return free;
}

int SipStack::listenAddr(int protocol, const char *address, int port, int family, int secure)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (protocol != 17 || family != AF_INET || secure != 0 || port < 0 || port > 65535)
        return OSIP_BADPARAMETER;
    if (!m_osip || m_running)
        return OSIP_WRONG_STATE;
    if (m_transport->open(text(address), port) != 0)
        return OSIP_UNDEFINED_ERROR;
    // Listening on every address: the address to name in Via and Contact
    // is looked up once here, not per message.
    if (m_transport->address().empty())
        m_guessedAddress = guessLocalIp(AF_INET);
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return OSIP_SUCCESS;
}

int SipStack::listenPort() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_transport ? m_transport->port() : 0;
}

std::string SipStack::guessLocalIp(int family)
{
    if (family != AF_INET)
        return std::string();
    // First private address of an interface that is up, else its first
    // other address; the program passes its own adapter choice through
    // setLocalAddress, this is only the stack's fallback.
    struct ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return "127.0.0.1";
    std::string privateIp;
    std::string otherIp;
    for (const struct ifaddrs *it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET || !(it->ifa_flags & IFF_UP)
            || (it->ifa_flags & IFF_LOOPBACK))
            continue;
        const uint32_t host = ntohl(reinterpret_cast<const sockaddr_in *>(it->ifa_addr)->sin_addr.s_addr);
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(it->ifa_addr)->sin_addr, text, sizeof(text));
        const bool isPrivate = (host >> 24) == 10 || (host >> 20) == 0xAC1 || (host >> 16) == 0xC0A8;
        if (isPrivate && privateIp.empty())
            privateIp = text;
        else if (!isPrivate && otherIp.empty())
            otherIp = text;
    }
    freeifaddrs(list);
    if (!privateIp.empty())
        return privateIp;
    return otherIp.empty() ? std::string("127.0.0.1") : otherIp;
}

int SipStack::addAccountInfo(const char *, const char *, int)
{
    return OSIP_SUCCESS;
}

void SipStack::setUserAgent(const std::string &userAgent)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_userAgent = userAgent;
}

void SipStack::setLocalAddress(const std::string &address)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_localAddress = address;
}

std::string SipStack::localAddress() const
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return viaAddress();
}

void SipStack::lock()
{
    m_lock.lock();
}

void SipStack::unlock()
{
    m_lock.unlock();
}

uint64_t SipStack::rejectedMessages() const
{
    return m_rejected;
}

// ---- events ------------------------------------------------------------

SipStackEventPtr SipStack::eventWait(int seconds, int milliseconds)
{
    const auto limit = std::chrono::milliseconds(static_cast<int64_t>(seconds) * 1000 + milliseconds);
    std::unique_lock<std::mutex> guard(m_queueLock);
    if (!m_queueSignal.wait_for(guard, limit, [this] { return !m_queue.empty() || m_waitInterrupted; })
        || m_queue.empty()) {
        m_waitInterrupted = false;
        return nullptr;
    }
    SipStackEventPtr event = std::move(m_queue.front());
    m_queue.pop_front();
    return event;
}

void SipStack::interruptEventWait()
{
    {
        std::lock_guard<std::mutex> guard(m_queueLock);
        m_waitInterrupted = true;
    }
    m_queueSignal.notify_all();
}

void SipStack::post(SipStackEventType type, int rid, int cid, int did, int tid, const osip_message *request,
                    const osip_message *response, const osip_message *ack)
{
    auto event = std::make_unique<SipStackEvent>();
    event->type = type;
    event->rid = rid;
    event->cid = cid;
    event->did = did;
    event->tid = tid;
    event->request = copyOf(request);
    event->response = copyOf(response);
    event->ack = copyOf(ack);
    event->textinfo = sipStackEventTypeName(type);
    event->remoteAddress = m_datagramIp;
    event->remotePort = m_datagramPort;
    if (response) {
        event->textinfo += " ";
        event->textinfo += std::to_string(response->status_code);
    }
    {
        std::lock_guard<std::mutex> guard(m_queueLock);
        m_queue.push_back(std::move(event));
    }
    m_queueSignal.notify_one();
}

// ---- transport thread --------------------------------------------------

void SipStack::run()
{
    std::vector<char> buffer(static_cast<size_t>(m_config.maxDatagramBytes) + 1);
    while (m_running) {
        int waitMs;
        {
            std::lock_guard<std::recursive_mutex> guard(m_lock);
            waitMs = nextWaitMs();
        }
        const bool readable = m_transport->wait(waitMs);
        if (!m_running)
            break;
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        for (const std::string &host : m_transport->takeFailedHosts())
            failRequestsTo(host);
        if (readable) {
            // A bounded batch per pass keeps timers serviced under a flood.
            for (int i = 0; i < 64; ++i) {
                std::string fromIp;
                int fromPort = 0;
                const long got = m_transport->receive(buffer.data(), buffer.size() - 1, fromIp, fromPort);
                if (got <= 0)
                    break;
                if (got > m_config.maxDatagramBytes) {
                    ++m_rejected;
                    continue;
                }
                m_datagramIp = fromIp;
                m_datagramPort = fromPort;
                handleDatagram(buffer.data(), static_cast<size_t>(got), fromIp, fromPort);
                m_datagramIp.clear();
                m_datagramPort = 0;
            }
        }
        executeTransactions();
    }
}

int SipStack::nextWaitMs()
{
    int64_t wait = 1000;
    if (m_osip) {
        struct timeval tv;
        tv.tv_sec = 1;
        tv.tv_usec = 0;
        osip_timers_gettimeout(m_osip, &tv);
        const int64_t osipMs = static_cast<int64_t>(tv.tv_sec) * 1000 + (tv.tv_usec + 999) / 1000;
        if (osipMs < wait)
            wait = osipMs;
    }
    const int64_t now = nowMs();
    // The sweep of unanswered requests runs only while there is anything
    // it could find.
    if ((!m_calls.empty() || !m_transactions.empty()) && m_nextSweepMs - now < wait)
        wait = m_nextSweepMs - now;
    for (auto &entry : m_calls) {
        const SipStackCall &call = *entry.second;
        if (call.pending2xx) {
            const int64_t due = std::min(call.next2xxMs, call.giveUp2xxMs) - now;
            if (due < wait)
                wait = due;
        }
        const int64_t ringDue = ringDueMs(call);
        if (ringDue != INT64_MAX && ringDue - now < wait)
            wait = ringDue - now;
    }
    return wait < 0 ? 0 : static_cast<int>(wait);
}

void SipStack::executeTransactions()
{
    if (!m_osip)
        return;
    osip_timers_ict_execute(m_osip);
    osip_timers_ist_execute(m_osip);
    osip_timers_nict_execute(m_osip);
    osip_timers_nist_execute(m_osip);
    runTransactionEvents();
    runCallTimers();
    sweepUnanswered();
    freeGarbage();
}

void SipStack::sweepUnanswered()
{
    const int64_t now = nowMs();
    if (now < m_nextSweepMs)
        return;
    m_nextSweepMs = now + std::min(1000, std::max(10, m_config.t1Ms));
    // Requests the application never answered must not hold their
    // transactions (and calls) for ever.
    std::vector<int> expired;
    for (auto &entry : m_calls) {
        SipStackCall &call = *entry.second;
        if (!call.outgoing && !call.finalSent && !call.released &&
            now - call.receivedMs >= m_config.inviteAnswerLimitMs)
            expired.push_back(call.cid);
    }
    for (int cid : expired) {
        SipStackCall *call = callByCid(cid);
        osip_transaction_t *tr = transaction(call->inviteTid);
        if (tr && call->invite) {
            if (osip_message_t *timeout = newResponse(call->invite, 408, call->localTag))
                sendAnswerOn(tr, timeout);
        }
        call->finalSent = true;
        releaseCall(*call);
    }
    // An out-of-dialog request left unanswered past 64*T1: its sender has
    // given up, so the transaction goes without an answer.
    std::vector<osip_transaction_t *> stale;
    for (auto &entry : m_transactions) {
        osip_transaction_t *tr = entry.second;
        if (tr->ctx_type != NIST || kindOf(tr) != KindMessageServer ||
            (tr->state != NIST_PRE_TRYING && tr->state != NIST_TRYING))
            continue;
        const int64_t born = static_cast<int64_t>(reinterpret_cast<intptr_t>(tr->reserved3));
        if (now - born >= 64LL * m_config.t1Ms)
            stale.push_back(tr);
    }
    for (osip_transaction_t *tr : stale)
        dropTransaction(tr);
}

void SipStack::dropTransaction(osip_transaction *tr)
{
    m_transactions.erase(tr->transactionid);
    osip_remove_transaction(m_osip, tr);
    m_garbage.push_back(tr);
}

void SipStack::failRequestsTo(const std::string &host)
{
    if (!m_osip)
        return;
    // The transaction's retransmission timer is made due: its resend then
    // meets the failed name and oSIP ends the transaction through the
    // transport-error callback, which raises the request's failure event.
    struct timeval now;
    osip_gettimeofday(&now, nullptr);
    for (auto &entry : m_transactions) {
        osip_transaction_t *tr = entry.second;
        if (tr->ctx_type == ICT && tr->state == ICT_CALLING && tr->ict_context &&
            tr->ict_context->destination && strcasecmp(tr->ict_context->destination, host.c_str()) == 0) {
            tr->ict_context->timer_a_start = now;
        } else if (tr->ctx_type == NICT && (tr->state == NICT_TRYING || tr->state == NICT_PROCEEDING) &&
                   tr->nict_context && tr->nict_context->destination &&
                   strcasecmp(tr->nict_context->destination, host.c_str()) == 0) {
            tr->nict_context->timer_e_start = now;
        }
    }
}

void SipStack::freeGarbage()
{
    while (!m_garbage.empty()) {
        osip_transaction_t *tr = m_garbage.front();
        m_garbage.pop_front();
        osip_transaction_free(tr);
    }
}

void SipStack::runCallTimers()
{
    const int64_t now = nowMs();
    runRingTimers(now);
    std::vector<int> lost;
    for (auto &entry : m_calls) {
        SipStackCall &call = *entry.second;
        if (!call.pending2xx)
            continue;
        if (now >= call.giveUp2xxMs) {
            lost.push_back(call.cid);
            continue;
        }
        if (now >= call.next2xxMs) {
            sendRaw(call.pending2xx, call.pending2xxHost, call.pending2xxPort);
            call.interval2xxMs = std::min(call.interval2xxMs * 2, m_config.t2Ms);
            call.next2xxMs = now + call.interval2xxMs;
        }
    }
    // No ACK for our 2xx within 64*T1: the session is confirmed and then
    // ended at once with BYE.
    for (int cid : lost) {
        SipStackCall *call = callByCid(cid);
        if (!call)
            continue;
        call->setPending2xx(nullptr);
        if (call->dialog && !call->byeSent) {
            osip_message_t *bye = newInDialogRequest(*call, "BYE");
            if (bye && startClientTransaction(bye, KindCallRequest, call->cid) > 0)
                call->byeSent = true;
        }
        releaseCall(*call);
    }
}

void SipStack::sendCancel(SipStackCall &call, osip_transaction *tr)
{
    if (call.cancelSent || !tr)
        return;
    if (osip_message_t *cancel = newCancel(tr->orig_request)) {
        startClientTransaction(cancel, KindCallRequest, call.cid);
        call.cancelSent = true;
        // The INVITE's 487 is due once the CANCEL is through; a peer that
        // never sends it does not hold the call (RFC 3261 9.1).
        call.cancelGiveUpMs = nowMs() + 64LL * m_config.t1Ms;
    }
}

int64_t SipStack::ringDueMs(const SipStackCall &call) const
{
    if (!call.outgoing || call.answered || call.released)
        return INT64_MAX;
    if (call.cancelSent)
        return call.cancelGiveUpMs;
    if (call.provisional && !call.cancelWanted)
        return call.ringingSinceMs + m_config.inviteRingLimitMs;
    return INT64_MAX;
}

void SipStack::runRingTimers(int64_t now)
{
    std::vector<int> ringing, abandoned;
    for (auto &entry : m_calls) {
        const SipStackCall &call = *entry.second;
        if (now < ringDueMs(call))
            continue;
        if (call.cancelSent)
            abandoned.push_back(call.cid);
        else
            ringing.push_back(call.cid);
    }
    for (int cid : ringing) {
        SipStackCall *call = callByCid(cid);
        osip_transaction_t *tr = transaction(call->inviteTid);
        post(SipStackEventType::CallNoAnswer, 0, call->cid, call->did, call->inviteTid,
             tr ? tr->orig_request : call->invite, nullptr);
        call->cancelWanted = true;
        sendCancel(*call, tr);
        if (!call->cancelSent)
            releaseCall(*call);
    }
    for (int cid : abandoned) {
        SipStackCall *call = callByCid(cid);
        if (osip_transaction_t *tr = transaction(call->inviteTid))
            dropTransaction(tr);
        releaseCall(*call);
    }
}

void SipStack::releaseCall(SipStackCall &call)
{
    if (call.released)
        return;
    call.released = true;
    post(SipStackEventType::CallReleased, 0, call.cid, call.did, 0, nullptr, nullptr);
    // The record stays while a BYE of ours is still in flight (its answer
    // needs the dialog); it goes with that transaction's end.
    bool busy = false;
    for (auto &entry : m_transactions)
        if (kindOf(entry.second) == KindCallRequest && ownerOf(entry.second) == call.cid)
            busy = true;
    if (!busy)
        m_calls.erase(call.cid);
}

// ---- incoming ----------------------------------------------------------

void SipStack::receiveDatagram(const char *data, size_t length, const std::string &fromIp, int fromPort)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!m_osip || !data)
        return;
    if (length > static_cast<size_t>(m_config.maxDatagramBytes)) {
        ++m_rejected;
        return;
    }
    m_datagramIp = fromIp;
    m_datagramPort = fromPort;
    handleDatagram(data, length, fromIp, fromPort);
    m_datagramIp.clear();
    m_datagramPort = 0;
    executeTransactions();
}

void SipStack::handleDatagram(const char *data, size_t length, const std::string &fromIp, int fromPort)
{
    // Keep-alives (CRLF) carry nothing.
    size_t i = 0;
    while (i < length && (data[i] == '\r' || data[i] == '\n'))
        ++i;
    if (i == length)
        return;
    osip_event_t *evt = osip_parse(data, length);
    if (!evt || !evt->sip) {
        if (evt)
            osip_event_free(evt);
        ++m_rejected;
        return;
    }
    osip_message_t *m = evt->sip;
    // A body must be exactly as long as Content-Length says (UDP carries no
    // stream to wait for the rest).
    bool lengthOk = true;
    size_t bodyBytes = 0;
    for (int b = 0; b < osip_list_size(&m->bodies); ++b) {
        auto *body = static_cast<osip_body_t *>(osip_list_get(&m->bodies, b));
        if (body)
            bodyBytes += body->length;
    }
    if (m->content_length && m->content_length->value) {
        char *end = nullptr;
        const unsigned long declared = std::strtoul(m->content_length->value, &end, 10);
        if (*end != '\0' || m->content_length->value[0] == '-' || declared > length)
            lengthOk = false;
        else if (osip_list_size(&m->bodies) <= 1 && declared != bodyBytes)
            lengthOk = false;
    }
    if (!wellFormed(m) || !lengthOk) {
        ++m_rejected;
        if (MSG_IS_REQUEST(m) && !methodIs(m, "ACK") && osip_list_size(&m->vias) >= 1 && m->call_id &&
            m->from && m->to && m->cseq) {
            osip_message_fix_last_via_header(m, fromIp.c_str(), fromPort);
            sendStatelessResponse(m, 400);
        }
        osip_event_free(evt);
        return;
    }
    if (MSG_IS_REQUEST(m))
        osip_message_fix_last_via_header(m, fromIp.c_str(), fromPort);
    if (!m->sip_version || strcasecmp(m->sip_version, "SIP/2.0") != 0) {
        ++m_rejected;
        if (MSG_IS_REQUEST(m) && !methodIs(m, "ACK"))
            sendStatelessResponse(m, 505);
        osip_event_free(evt);
        return;
    }

    if (MSG_IS_REQUEST(m) && methodIs(m, "ACK")) {
        // An ACK for a 2xx belongs to the dialog; one for an error answer
        // to its INVITE transaction.
        SipStackCall *call = callByDialog(m);
        if (call && call->pending2xx && cseqNumber(m) == call->pending2xxCseq) {
            handleAck(m);
            osip_event_free(evt);
            return;
        }
        if (osip_find_transaction_and_add_event(m_osip, evt) != 0)
            osip_event_free(evt);
        return;
    }
    if (osip_find_transaction_and_add_event(m_osip, evt) == 0)
        return;
    if (MSG_IS_RESPONSE(m)) {
        handleStrayResponse(m);
        osip_event_free(evt);
        return;
    }
    handleNewRequest(evt);
}

void SipStack::handleStrayResponse(osip_message *response)
{
    // A retransmitted 2xx for an INVITE whose transaction is over: its ACK
    // was lost, send it again.
    if (!MSG_IS_STATUS_2XX(response) || !cseqMethodIs(response, "INVITE"))
        return;
    const std::string callId = callIdText(response);
    for (auto &entry : m_calls) {
        SipStackCall &call = *entry.second;
        if (call.outgoing && call.callId == callId && call.ack && cseqNumber(call.ack) == cseqNumber(response)) {
            std::string host;
            int port = 0;
            requestDestination(call.ack, host, port);
            sendRaw(call.ack, host, port);
            return;
        }
    }
}

void SipStack::handleAck(osip_message *ack)
{
    SipStackCall *call = callByDialog(ack);
    if (!call)
        return;
    const int tid = call->pending2xxTid;
    call->setPending2xx(nullptr);
    if (call->dialog)
        osip_dialog_set_state(call->dialog, DIALOG_CONFIRMED);
    post(SipStackEventType::CallAck, 0, call->cid, call->did, tid, call->keptRequest(tid), nullptr, ack);
}

void SipStack::handleNewRequest(osip_event *evt)
{
    osip_message_t *m = evt->sip;
    if (methodIs(m, "CANCEL")) {
        handleCancel(evt);
        return;
    }
    const bool hasToTag = !tagOf(m->to).empty();
    if (!hasToTag && m_config.statelessRegister && methodIs(m, "REGISTER") && handleStatelessRequest(m)) {
        osip_event_free(evt);
        return;
    }
    if (!hasToTag && m_config.maxTransactions > 0 &&
        m_transactions.size() >= static_cast<size_t>(m_config.maxTransactions)) {
        sendStatelessResponse(m, 503);
        osip_event_free(evt);
        return;
    }
    if (hasToTag) {
        SipStackCall *call = callByDialog(m);
        if (!call) {
            sendStatelessResponse(m, 481);
            osip_event_free(evt);
            return;
        }
        handleInDialogRequest(evt, *call);
        return;
    }
    if (methodIs(m, "INVITE")) {
        auto call = std::make_unique<SipStackCall>();
        call->cid = newId();
        call->did = newId();
        call->outgoing = false;
        call->receivedMs = nowMs();
        call->callId = callIdText(m);
        call->localTag = randomToken();
        call->setInvite(copyOf(m));
        SipStackCall &ref = *call;
        m_calls[ref.cid] = std::move(call);
        const int tid = startServerTransaction(evt, KindCallInvite, ref.cid);
        if (tid <= 0) {
            m_calls.erase(ref.cid);
            return;
        }
        ref.inviteTid = tid;
        ref.keepRequest(tid, ref.invite);
        // 100 Trying at once stops the caller's retransmissions while the
        // application decides.
        osip_transaction_t *tr = transaction(tid);
        osip_message_t *trying = newResponse(ref.invite, 100, std::string());
        if (tr && trying)
            sendAnswerOn(tr, trying);
        post(SipStackEventType::CallInvite, 0, ref.cid, ref.did, tid, ref.invite, nullptr);
        return;
    }
    if (methodIs(m, "BYE")) {
        sendStatelessResponse(m, 481);
        osip_event_free(evt);
        return;
    }
    const int tid = startServerTransaction(evt, KindMessageServer, 0);
    if (tid <= 0)
        return;
    osip_transaction_t *tr = transaction(tid);
    post(SipStackEventType::MessageNew, 0, 0, 0, tid, tr ? tr->orig_request : nullptr, nullptr);
}

std::string SipStack::statelessKey(const osip_message *request)
{
    auto *via = static_cast<osip_via_t *>(osip_list_get(&request->vias, 0));
    osip_generic_param_t *branch = nullptr;
    if (via)
        osip_via_param_get_byname(via, const_cast<char *>("branch"), &branch);
    return callIdText(request) + "|" + std::to_string(cseqNumber(request)) + "|" +
           (branch && branch->gvalue ? branch->gvalue : "");
}

bool SipStack::handleStatelessRequest(osip_message *request)
{
    const int64_t now = nowMs();
    const int64_t keepMs = 64LL * m_config.t1Ms;
    while (!m_statelessAnswers.empty() &&
           (now - m_statelessAnswers.front().sentMs > keepMs || m_statelessAnswers.size() > 16384)) {
        auto it = m_statelessIndex.find(m_statelessAnswers.front().key);
        if (it != m_statelessIndex.end() && it->second == m_statelessFirst)
            m_statelessIndex.erase(it);
        m_statelessAnswers.pop_front();
        ++m_statelessFirst;
    }
    const std::string key = statelessKey(request);
    auto it = m_statelessIndex.find(key);
    if (it != m_statelessIndex.end()) {
        const StatelessAnswer &a = m_statelessAnswers[it->second - m_statelessFirst];
        if (m_transport)
            m_transport->send(a.host, a.port, a.text.data(), a.text.size());
        return true;
    }
    post(SipStackEventType::MessageNew, 0, 0, 0, 0, request, nullptr);
    return true;
}

int SipStack::messageBuildStatelessAnswer(const osip_message *request, int status, osip_message **answer)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!answer || !request || status < 100 || status > 699)
        return OSIP_BADPARAMETER;
    *answer = newResponse(request, status, randomToken());
    if (!*answer)
        return OSIP_NOMEM;
    osip_message_set_user_agent(*answer, m_userAgent.c_str());
    return OSIP_SUCCESS;
}

int SipStack::messageSendStatelessAnswer(const osip_message *request, int status, osip_message *answer)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!answer) {
        const int built = messageBuildStatelessAnswer(request, status, &answer);
        if (built != OSIP_SUCCESS)
            return built;
    }
    char *host = nullptr;
    int port = 5060;
    osip_response_get_destination(answer, &host, &port);
    char *buffer = nullptr;
    size_t length = 0;
    int result = OSIP_UNDEFINED_ERROR;
    if (host && osip_message_to_str(answer, &buffer, &length) == 0 && buffer) {
        StatelessAnswer a;
        a.key = statelessKey(request);
        a.sentMs = nowMs();
        a.host = host;
        a.port = port;
        a.text.assign(buffer, length);
        osip_free(buffer);
        if (m_transport && m_transport->send(a.host, a.port, a.text.data(), a.text.size()) >= 0)
            result = OSIP_SUCCESS;
        // Final answers only: a provisional one does not end the request.
        if (MSG_IS_STATUS_1XX(answer) == 0) {
            m_statelessIndex[a.key] = m_statelessFirst + m_statelessAnswers.size();
            m_statelessAnswers.push_back(std::move(a));
        }
    }
    if (host)
        osip_free(host);
    osip_message_free(answer);
    return result;
}

void SipStack::handleCancel(osip_event *evt)
{
    osip_message_t *cancel = evt->sip;
    // The CANCEL names its INVITE by Call-ID, CSeq number and top Via branch.
    SipStackCall *target = nullptr;
    const std::string callId = callIdText(cancel);
    auto *cancelVia = static_cast<osip_via_t *>(osip_list_get(&cancel->vias, 0));
    osip_generic_param_t *cancelBranch = nullptr;
    osip_via_param_get_byname(cancelVia, const_cast<char *>("branch"), &cancelBranch);
    for (auto &entry : m_calls) {
        SipStackCall &call = *entry.second;
        if (call.outgoing || call.callId != callId || !call.invite || cseqNumber(call.invite) != cseqNumber(cancel))
            continue;
        auto *via = static_cast<osip_via_t *>(osip_list_get(&call.invite->vias, 0));
        osip_generic_param_t *branch = nullptr;
        osip_via_param_get_byname(via, const_cast<char *>("branch"), &branch);
        const std::string a = cancelBranch && cancelBranch->gvalue ? cancelBranch->gvalue : "";
        const std::string b = branch && branch->gvalue ? branch->gvalue : "";
        if (a == b) {
            target = &call;
            break;
        }
    }
    const int tid = startServerTransaction(evt, KindMessageServer, 0);
    osip_transaction_t *cancelTr = transaction(tid);
    if (!cancelTr)
        return;
    if (!target) {
        if (osip_message_t *answer = newResponse(cancelTr->orig_request, 481, randomToken()))
            sendAnswerOn(cancelTr, answer);
        return;
    }
    if (osip_message_t *ok = newResponse(cancelTr->orig_request, 200, target->localTag))
        sendAnswerOn(cancelTr, ok);
    if (target->finalSent)
        return;
    osip_transaction_t *inviteTr = transaction(target->inviteTid);
    if (inviteTr) {
        if (osip_message_t *terminated = newResponse(target->invite, 487, target->localTag))
            sendAnswerOn(inviteTr, terminated);
    }
    target->finalSent = true;
    post(SipStackEventType::CallCancelled, 0, target->cid, target->did, target->inviteTid, cancelTr->orig_request,
         nullptr);
    releaseCall(*target);
}

void SipStack::handleInDialogRequest(osip_event *evt, SipStackCall &call)
{
    osip_message_t *m = evt->sip;
    const bool invite = methodIs(m, "INVITE");
    const int tid = startServerTransaction(evt, KindCallServer, call.cid);
    osip_transaction_t *tr = transaction(tid);
    if (!tr)
        return;
    const osip_message_t *request = tr->orig_request;
    if (call.dialog)
        osip_dialog_update_osip_cseq_as_uas(call.dialog, const_cast<osip_message_t *>(request));
    if (invite) {
        call.keepRequest(tid, request);
        post(SipStackEventType::CallReinvite, 0, call.cid, call.did, tid, request, nullptr);
        return;
    }
    if (methodIs(request, "BYE")) {
        if (osip_message_t *ok = newResponse(request, 200, call.localTag))
            sendAnswerOn(tr, ok);
        // A BYE in the early dialog: the peer's INVITE still needs its
        // final answer, or its transaction would wait for ever.
        if (!call.outgoing && !call.finalSent) {
            osip_transaction_t *inviteTr = transaction(call.inviteTid);
            if (inviteTr && call.invite) {
                if (osip_message_t *terminated = newResponse(call.invite, 487, call.localTag))
                    sendAnswerOn(inviteTr, terminated);
            }
            call.finalSent = true;
        }
        call.setPending2xx(nullptr);
        if (call.dialog)
            osip_dialog_set_state(call.dialog, DIALOG_CLOSE);
        post(SipStackEventType::CallClosed, 0, call.cid, call.did, tid, request, nullptr);
        releaseCall(call);
        return;
    }
    // OPTIONS, INFO and UPDATE without an offer need nothing from the
    // application; anything else is not something this agent does.
    bool plain = methodIs(request, "OPTIONS") || methodIs(request, "INFO");
    if (methodIs(request, "UPDATE"))
        plain = osip_list_size(&request->bodies) == 0;
    if (osip_message_t *answer = newResponse(request, plain ? 200 : 501, call.localTag))
        sendAnswerOn(tr, answer);
    post(SipStackEventType::CallMessageNew, 0, call.cid, call.did, tid, request, nullptr);
}

// ---- oSIP callbacks ----------------------------------------------------

void SipStack::onTransactionMessage(int type, osip_transaction *tr, osip_message *message)
{
    switch (type) {
    case OSIP_ICT_STATUS_1XX_RECEIVED:
    case OSIP_ICT_STATUS_2XX_RECEIVED:
    case OSIP_ICT_STATUS_3XX_RECEIVED:
    case OSIP_ICT_STATUS_4XX_RECEIVED:
    case OSIP_ICT_STATUS_5XX_RECEIVED:
    case OSIP_ICT_STATUS_6XX_RECEIVED:
    case OSIP_NICT_STATUS_1XX_RECEIVED:
    case OSIP_NICT_STATUS_2XX_RECEIVED:
    case OSIP_NICT_STATUS_3XX_RECEIVED:
    case OSIP_NICT_STATUS_4XX_RECEIVED:
    case OSIP_NICT_STATUS_5XX_RECEIVED:
    case OSIP_NICT_STATUS_6XX_RECEIVED:
        onClientAnswer(type, tr, message);
        break;
    case OSIP_ICT_STATUS_2XX_RECEIVED_AGAIN:
        handleStrayResponse(message);
        break;
    case OSIP_ICT_STATUS_TIMEOUT:
    case OSIP_NICT_STATUS_TIMEOUT:
        onClientTimeout(tr);
        break;
    default:
        break;
    }
}

void SipStack::onTransactionKilled(osip_transaction *tr)
{
    const int tid = tr->transactionid;
    auto it = m_transactions.find(tid);
    if (it == m_transactions.end() || it->second != tr)
        return;
    m_transactions.erase(it);
    m_garbage.push_back(tr);
    // A released call waiting only for its BYE to finish can go now.
    if (kindOf(tr) == KindCallRequest) {
        SipStackCall *call = callByCid(ownerOf(tr));
        if (call && call->released) {
            bool busy = false;
            for (auto &entry : m_transactions)
                if (kindOf(entry.second) == KindCallRequest && ownerOf(entry.second) == call->cid)
                    busy = true;
            if (!busy)
                m_calls.erase(call->cid);
        }
    }
}

void SipStack::onClientAnswer(int, osip_transaction *tr, osip_message *response)
{
    const int tid = tr->transactionid;
    const int status = response->status_code;
    const intptr_t kind = kindOf(tr);
    if (kind == KindRegister) {
        auto it = m_registrations.find(ownerOf(tr));
        if (it == m_registrations.end())
            return;
        SipStackRegistration &reg = *it->second;
        if (status < 200)
            return;
        if (reg.pendingTid == tid)
            reg.pendingTid = 0;
        if (status == 401 || status == 407)
            readChallenge(response, reg.challenge);
        post(status < 300 ? SipStackEventType::RegistrationSuccess : SipStackEventType::RegistrationFailure, reg.rid,
             0, 0, tid, tr->orig_request, response);
        return;
    }
    if (kind == KindMessage) {
        post(messageAnswerEvent(status), 0, 0, 0, tid, tr->orig_request, response);
        return;
    }
    SipStackCall *call = callByCid(ownerOf(tr));
    if (!call)
        return;
    if (kind == KindCallRequest) {
        const bool isBye = methodIs(tr->orig_request, "BYE");
        const bool isCancel = methodIs(tr->orig_request, "CANCEL");
        if (isBye) {
            if (status >= 200)
                releaseCall(*call);
            return;
        }
        if (isCancel)
            return;
        if (methodIs(tr->orig_request, "INVITE") && MSG_IS_STATUS_2XX(response)) {
            // A re-INVITE of ours: acknowledge it here, the session goes on.
            call->keepResponse(tid, response);
            if (osip_message_t *ack = newAck(*call, cseqNumber(response))) {
                std::string host;
                int port = 0;
                requestDestination(ack, host, port);
                sendRaw(ack, host, port);
                call->setAck(ack);
            }
        }
        post(callAnswerEvent(status, true), 0, call->cid, call->did, tid, tr->orig_request, response);
        return;
    }
    if (kind != KindCallInvite || call->released)
        return;

    call->keepResponse(tid, response);
    const bool hasTag = !tagOf(response->to).empty();
    if (hasTag && status > 100 && status < 300) {
        if (!call->dialog) {
            osip_dialog_t *dialog = nullptr;
            if (osip_dialog_init_as_uac(&dialog, response) == 0) {
                call->dialog = dialog;
                call->did = newId();
            }
        } else if (status >= 200) {
            osip_dialog_update_route_set_as_uac(call->dialog, response);
            osip_dialog_update_tag_as_uac(call->dialog, response);
        }
        if (call->dialog && status >= 200)
            osip_dialog_set_state(call->dialog, DIALOG_CONFIRMED);
    }
    if (status < 200) {
        if (!call->provisional)
            call->ringingSinceMs = nowMs();
        call->provisional = true;
        if (call->cancelWanted && !call->cancelSent) {
            sendCancel(*call, tr);
            return;
        }
        post(callAnswerEvent(status, false), 0, call->cid, call->did, tid, tr->orig_request, response);
        return;
    }
    if (status < 300) {
        call->answered = true;
        if (call->cancelWanted) {
            // Answered although we gave up: confirm and end it at once.
            if (osip_message_t *ack = newAck(*call, cseqNumber(response))) {
                std::string host;
                int port = 0;
                requestDestination(ack, host, port);
                sendRaw(ack, host, port);
                call->setAck(ack);
            }
            if (osip_message_t *bye = newInDialogRequest(*call, "BYE")) {
                if (startClientTransaction(bye, KindCallRequest, call->cid) > 0)
                    call->byeSent = true;
            }
            releaseCall(*call);
            return;
        }
        post(SipStackEventType::CallAnswered, 0, call->cid, call->did, tid, tr->orig_request, response);
        return;
    }
    // Final error. A challenge waits for automaticAction(); anything else
    // ends the call.
    post(callAnswerEvent(status, false), 0, call->cid, call->did, tid, tr->orig_request, response);
    if ((status == 401 || status == 407) && !call->cancelWanted && readChallenge(response, call->challenge))
        return;
    releaseCall(*call);
}

void SipStack::onClientTimeout(osip_transaction *tr)
{
    const int tid = tr->transactionid;
    const intptr_t kind = kindOf(tr);
    if (kind == KindRegister) {
        auto it = m_registrations.find(ownerOf(tr));
        if (it == m_registrations.end())
            return;
        if (it->second->pendingTid == tid)
            it->second->pendingTid = 0;
        post(SipStackEventType::RegistrationFailure, it->first, 0, 0, tid, tr->orig_request, nullptr);
        return;
    }
    if (kind == KindMessage) {
        post(SipStackEventType::MessageRequestFailure, 0, 0, 0, tid, tr->orig_request, nullptr);
        return;
    }
    SipStackCall *call = callByCid(ownerOf(tr));
    if (!call)
        return;
    if (kind == KindCallInvite) {
        if (call->inviteTid != tid || call->released || call->answered)
            return;
        post(SipStackEventType::CallNoAnswer, 0, call->cid, call->did, tid, tr->orig_request, nullptr);
        releaseCall(*call);
        return;
    }
    if (kind == KindCallRequest) {
        // A BYE nobody answers: the peer is gone.
        if (methodIs(tr->orig_request, "BYE")) {
            releaseCall(*call);
        } else if (!methodIs(tr->orig_request, "CANCEL")) {
            post(SipStackEventType::CallMessageRequestFailure, 0, call->cid, call->did, tid, tr->orig_request,
                 nullptr);
        }
    }
}

// ---- transactions ------------------------------------------------------

void SipStack::applyTimers(osip_transaction *tr)
{
    struct timeval now;
    osip_gettimeofday(&now, nullptr);
    auto at = [&now](struct timeval &slot, int ms) {
        slot = now;
        add_gettimeofday(&slot, ms);
    };
    const int t1 = m_config.t1Ms;
    if (tr->ict_context) {
        tr->ict_context->timer_a_length = t1;
        at(tr->ict_context->timer_a_start, t1);
        tr->ict_context->timer_b_length = 64 * t1;
        at(tr->ict_context->timer_b_start, 64 * t1);
        tr->ict_context->timer_d_length = std::max(64 * t1, 1);
    }
    if (tr->nict_context) {
        tr->nict_context->timer_e_length = t1;
        at(tr->nict_context->timer_e_start, t1);
        tr->nict_context->timer_f_length = 64 * t1;
        at(tr->nict_context->timer_f_start, 64 * t1);
        // Timer K only absorbs repeated final answers; an answer that
        // matches no transaction is dropped the same way, so a finished
        // non-INVITE client transaction ends at once. (oSIP keeps its
        // transactions in lists it scans per message: thousands lingering
        // for T4 under REGISTER load cost more than the messages.)
        tr->nict_context->timer_k_length = 0;
    }
    if (tr->ist_context) {
        tr->ist_context->timer_g_length = t1;
        tr->ist_context->timer_h_length = 64 * t1;
        tr->ist_context->timer_i_length = m_config.t4Ms;
    }
    if (tr->nist_context)
        tr->nist_context->timer_j_length = 64 * t1;
}

int SipStack::startClientTransaction(osip_message *request, int kind, int ownerId)
{
    if (!m_osip || !m_running) {
        osip_message_free(request);
        return OSIP_WRONG_STATE;
    }
    const osip_fsm_type_t type = methodIs(request, "INVITE") ? ICT : NICT;
    osip_transaction_t *tr = nullptr;
    if (osip_transaction_init(&tr, type, m_osip, request) != 0) {
        osip_message_free(request);
        return OSIP_UNDEFINED_ERROR;
    }
    applyTimers(tr);
    const int tid = newId();
    tr->transactionid = tid;
    tr->reserved1 = reinterpret_cast<void *>(static_cast<intptr_t>(kind));
    tr->reserved2 = reinterpret_cast<void *>(static_cast<intptr_t>(ownerId));
    m_transactions[tid] = tr;
    osip_event_t *evt = osip_new_outgoing_sipmessage(request);
    evt->transactionid = tr->transactionid;
    osip_transaction_add_event(tr, evt);
    m_transport->wake();
    return tid;
}

int SipStack::startServerTransaction(osip_event *evt, int kind, int ownerId)
{
    osip_transaction_t *tr = osip_create_transaction(m_osip, evt);
    if (!tr) {
        osip_event_free(evt);
        return OSIP_UNDEFINED_ERROR;
    }
    applyTimers(tr);
    const int tid = newId();
    tr->transactionid = tid;
    tr->reserved1 = reinterpret_cast<void *>(static_cast<intptr_t>(kind));
    tr->reserved2 = reinterpret_cast<void *>(static_cast<intptr_t>(ownerId));
    tr->reserved3 = reinterpret_cast<void *>(static_cast<intptr_t>(nowMs()));
    m_transactions[tid] = tr;
    evt->transactionid = tid;
    osip_transaction_add_event(tr, evt);
    // The transaction takes the request when it runs the event; run it now
    // so orig_request is set for the caller.
    osip_ist_execute(m_osip);
    osip_nist_execute(m_osip);
    return tid;
}

int SipStack::sendAnswerOn(osip_transaction *tr, osip_message *answer)
{
    osip_message_set_user_agent(answer, m_userAgent.c_str());
    osip_event_t *evt = osip_new_outgoing_sipmessage(answer);
    evt->transactionid = tr->transactionid;
    osip_transaction_add_event(tr, evt);
    m_transport->wake();
    return OSIP_SUCCESS;
}

int SipStack::sendRaw(osip_message *message, const std::string &host, int port)
{
    if (!m_transport)
        return -1;
    char *buffer = nullptr;
    size_t length = 0;
    if (osip_message_to_str(message, &buffer, &length) != 0 || !buffer)
        return -1;
    const int sent = m_transport->send(host, port, buffer, length);
    osip_free(buffer);
    return sent;
}

void SipStack::sendStatelessResponse(const osip_message *request, int status)
{
    osip_message_t *response = newResponse(request, status, randomToken());
    if (!response)
        return;
    osip_message_set_user_agent(response, m_userAgent.c_str());
    char *host = nullptr;
    int port = 5060;
    osip_response_get_destination(response, &host, &port);
    if (host) {
        sendRaw(response, host, port);
        osip_free(host);
    }
    osip_message_free(response);
}

osip_transaction *SipStack::transaction(int tid)
{
    auto it = m_transactions.find(tid);
    return it == m_transactions.end() ? nullptr : it->second;
}

SipStackCall *SipStack::callByCid(int cid)
{
    auto it = m_calls.find(cid);
    return it == m_calls.end() ? nullptr : it->second.get();
}

SipStackCall *SipStack::callByDid(int did)
{
    for (auto &entry : m_calls)
        if (entry.second->did == did && did > 0)
            return entry.second.get();
    return nullptr;
}

SipStackCall *SipStack::callByDialog(const osip_message *request)
{
    const std::string callId = callIdText(request);
    const std::string toTag = tagOf(request->to);
    const std::string fromTag = tagOf(request->from);
    for (auto &entry : m_calls) {
        SipStackCall &call = *entry.second;
        if (call.callId != callId || call.localTag != toTag)
            continue;
        if (call.dialog && call.dialog->remote_tag && fromTag != call.dialog->remote_tag)
            continue;
        return &call;
    }
    return nullptr;
}

// ---- message building --------------------------------------------------

std::string SipStack::randomToken()
{
    // xorshift64*: per-stack state, no shared generator.
    m_randomState ^= m_randomState >> 12;
    m_randomState ^= m_randomState << 25;
    m_randomState ^= m_randomState >> 27;
    const uint64_t value = m_randomState * 2685821657736338717ULL;
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(value));
    return out;
}

std::string SipStack::viaAddress() const
{
    if (!m_masqueradeAddress.empty())
        return m_masqueradeAddress;
    if (!m_localAddress.empty())
        return m_localAddress;
    if (m_transport && !m_transport->address().empty())
        return m_transport->address();
    if (!m_guessedAddress.empty())
        return m_guessedAddress;
    return guessLocalIp(AF_INET);
}

int SipStack::viaPort() const
{
    if (!m_masqueradeAddress.empty() && m_masqueradePort > 0)
        return m_masqueradePort;
    return m_transport ? m_transport->port() : 0;
}

std::string SipStack::defaultContact(const std::string &user) const
{
    std::string out = "<sip:";
    if (!user.empty())
        out += user + "@";
    out += viaAddress() + ":" + std::to_string(viaPort()) + ">";
    return out;
}

void SipStack::addVia(osip_message *message)
{
    const std::string via = "SIP/2.0/UDP " + viaAddress() + ":" + std::to_string(viaPort()) +
                            ";rport;branch=z9hG4bK" + randomToken();
    osip_message_set_via(message, via.c_str());
}

osip_message *SipStack::newRequest(const char *method, const std::string &requestUri, const std::string &to,
                                   const std::string &from, const std::string &callId, unsigned cseq)
{
    osip_message_t *m = nullptr;
    if (osip_message_init(&m) != 0)
        return nullptr;
    osip_message_set_method(m, osip_strdup(method));
    osip_message_set_version(m, osip_strdup("SIP/2.0"));
    osip_uri_t *uri = nullptr;
    osip_uri_init(&uri);
    if (osip_uri_parse(uri, requestUri.c_str()) != 0) {
        osip_uri_free(uri);
        osip_message_free(m);
        return nullptr;
    }
    osip_message_set_uri(m, uri);
    if (osip_message_set_to(m, to.c_str()) != 0 || osip_message_set_from(m, from.c_str()) != 0 || !m->to ||
        !m->from) {
        osip_message_free(m);
        return nullptr;
    }
    osip_message_set_call_id(m, callId.c_str());
    const std::string cseqText = std::to_string(cseq) + " " + method;
    osip_message_set_cseq(m, cseqText.c_str());
    addVia(m);
    osip_message_set_max_forwards(m, "70");
    osip_message_set_user_agent(m, m_userAgent.c_str());
    return m;
}

osip_message *SipStack::newResponse(const osip_message *request, int status, const std::string &toTag)
{
    if (!request)
        return nullptr;
    osip_message_t *m = nullptr;
    if (osip_message_init(&m) != 0)
        return nullptr;
    osip_message_set_version(m, osip_strdup("SIP/2.0"));
    osip_message_set_status_code(m, status);
    const char *reason = osip_message_get_reason(status);
    osip_message_set_reason_phrase(m, osip_strdup(reason ? reason : "Unknown"));
    osip_list_clone(&request->vias, &m->vias, reinterpret_cast<int (*)(void *, void **)>(&osip_via_clone));
    if (request->from)
        osip_from_clone(request->from, &m->from);
    if (request->to)
        osip_to_clone(request->to, &m->to);
    if (m->to && status > 100 && tagOf(m->to).empty() && !toTag.empty())
        osip_to_set_tag(m->to, osip_strdup(toTag.c_str()));
    if (request->call_id)
        osip_call_id_clone(request->call_id, &m->call_id);
    if (request->cseq)
        osip_cseq_clone(request->cseq, &m->cseq);
    return m;
}

osip_message *SipStack::newInDialogRequest(SipStackCall &call, const char *method)
{
    osip_dialog_t *d = call.dialog;
    if (!d || !d->remote_uri || !d->local_uri || !d->call_id)
        return nullptr;
    osip_message_t *m = nullptr;
    if (osip_message_init(&m) != 0)
        return nullptr;
    osip_message_set_method(m, osip_strdup(method));
    osip_message_set_version(m, osip_strdup("SIP/2.0"));
    osip_uri_t *target = nullptr;
    if (d->remote_contact_uri && d->remote_contact_uri->url)
        osip_uri_clone(d->remote_contact_uri->url, &target);
    else if (d->remote_uri->url)
        osip_uri_clone(d->remote_uri->url, &target);
    if (!target) {
        osip_message_free(m);
        return nullptr;
    }
    osip_message_set_uri(m, target);
    // The dialog's local and remote URIs carry their tags already.
    osip_to_clone(d->remote_uri, &m->to);
    osip_from_clone(d->local_uri, &m->from);
    osip_message_set_call_id(m, d->call_id);
    if (!methodIs(m, "ACK") && !methodIs(m, "CANCEL"))
        d->local_cseq = (d->local_cseq > 0 ? d->local_cseq : 0) + 1;
    const std::string cseq = std::to_string(d->local_cseq) + " " + method;
    osip_message_set_cseq(m, cseq.c_str());
    for (int i = 0; i < osip_list_size(&d->route_set); ++i) {
        auto *rr = static_cast<osip_record_route_t *>(osip_list_get(&d->route_set, i));
        osip_route_t *route = nullptr;
        if (rr && osip_from_clone(rr, &route) == 0)
            osip_list_add(&m->routes, route, -1);
    }
    addVia(m);
    osip_message_set_max_forwards(m, "70");
    osip_message_set_user_agent(m, m_userAgent.c_str());
    if (methodIs(m, "INVITE") || methodIs(m, "UPDATE"))
        osip_message_set_contact(m, defaultContact(call.invite && call.invite->from && call.invite->from->url &&
                                                            call.invite->from->url->username && call.outgoing
                                                        ? call.invite->from->url->username
                                                        : "")
                                        .c_str());
    return m;
}

osip_message *SipStack::newAck(SipStackCall &call, unsigned cseq)
{
    if (!call.dialog)
        return nullptr;
    const int saved = call.dialog->local_cseq;
    osip_message_t *ack = newInDialogRequest(call, "ACK");
    call.dialog->local_cseq = saved;
    if (!ack)
        return nullptr;
    osip_cseq_free(ack->cseq);
    ack->cseq = nullptr;
    const std::string text = std::to_string(cseq) + " ACK";
    osip_message_set_cseq(ack, text.c_str());
    return ack;
}

osip_message *SipStack::newCancel(const osip_message *invite)
{
    if (!invite)
        return nullptr;
    osip_message_t *m = nullptr;
    if (osip_message_init(&m) != 0)
        return nullptr;
    osip_message_set_method(m, osip_strdup("CANCEL"));
    osip_message_set_version(m, osip_strdup("SIP/2.0"));
    osip_uri_t *uri = nullptr;
    osip_uri_clone(invite->req_uri, &uri);
    osip_message_set_uri(m, uri);
    osip_to_clone(invite->to, &m->to);
    osip_from_clone(invite->from, &m->from);
    osip_call_id_clone(invite->call_id, &m->call_id);
    const std::string cseq = std::to_string(cseqNumber(invite)) + " CANCEL";
    osip_message_set_cseq(m, cseq.c_str());
    auto *via = static_cast<osip_via_t *>(osip_list_get(&invite->vias, 0));
    osip_via_t *copy = nullptr;
    if (via && osip_via_clone(via, &copy) == 0)
        osip_list_add(&m->vias, copy, -1);
    osip_list_clone(&invite->routes, &m->routes, reinterpret_cast<int (*)(void *, void **)>(&osip_from_clone));
    osip_message_set_max_forwards(m, "70");
    osip_message_set_user_agent(m, m_userAgent.c_str());
    return m;
}

bool SipStack::addAuthorization(osip_message *request, SipStackChallenge &challenge, const std::string &uri)
{
    if (!challenge.valid)
        return false;
    const SipStackCredential *match = nullptr;
    for (const SipStackCredential &c : m_credentials) {
        if (c.realm.empty() || c.realm == challenge.params.realm) {
            match = &c;
            break;
        }
    }
    if (!match)
        return false;
    const std::string user = match->userId.empty() ? match->user : match->userId;
    std::string value;
    ++challenge.nonceCount;
    const std::string cnonce = randomToken();
    if (!match->ha1.empty()) {
        // A precomputed H(A1) stands in for user, realm and password.
        SipDigest::Params p = challenge.params;
        const bool qop = !p.qop.empty();
        char nc[9];
        std::snprintf(nc, sizeof nc, "%08x", challenge.nonceCount);
        const std::string digest = SipDigest::response(match->ha1, p.nonce, nc, cnonce, qop ? "auth" : "",
                                                       text(request->sip_method), uri);
        value = "Digest username=\"" + user + "\", realm=\"" + p.realm + "\", nonce=\"" + p.nonce + "\", uri=\"" +
                uri + "\", response=\"" + digest + "\", algorithm=MD5";
        if (!p.opaque.empty())
            value += ", opaque=\"" + p.opaque + "\"";
        if (qop)
            value += std::string(", qop=auth, nc=") + nc + ", cnonce=\"" + cnonce + "\"";
    } else {
        value = SipDigest::authorization(challenge.params, user, match->password, text(request->sip_method), uri,
                                         cnonce, challenge.nonceCount);
    }
    if (value.empty())
        return false;
    if (challenge.proxy)
        osip_message_set_proxy_authorization(request, value.c_str());
    else
        osip_message_set_authorization(request, value.c_str());
    return true;
}

// ---- authentication ----------------------------------------------------

int SipStack::clearAuthenticationInfo()
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_credentials.clear();
    return OSIP_SUCCESS;
}

int SipStack::addAuthenticationInfo(const char *user, const char *userId, const char *password, const char *ha1,
                                    const char *realm)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!user || !*user || ((!password || !*password) && (!ha1 || !*ha1)))
        return OSIP_BADPARAMETER;
    SipStackCredential c;
    c.user = user;
    c.userId = text(userId);
    c.password = text(password);
    c.ha1 = text(ha1);
    c.realm = text(realm);
    m_credentials.push_back(c);
    return OSIP_SUCCESS;
}

int SipStack::automaticAction(int cid)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    std::vector<int> giveUp;
    for (auto &entry : m_calls) {
        SipStackCall &call = *entry.second;
        if ((cid > 0 && call.cid != cid) || !call.outgoing || call.released || !call.challenge.valid || call.answered)
            continue;
        const osip_message_t *last = call.keptResponse(call.inviteTid);
        if (!last || (last->status_code != 401 && last->status_code != 407))
            continue;
        if (call.authAttempts >= static_cast<unsigned>(m_config.maxAuthAttempts)) {
            giveUp.push_back(call.cid);
            continue;
        }
        osip_message_t *invite = copyOf(call.invite);
        if (!invite) {
            giveUp.push_back(call.cid);
            continue;
        }
        // Same call, next CSeq, new branch, credentials for the challenge.
        osip_list_special_free(&invite->vias, reinterpret_cast<void (*)(void *)>(&osip_via_free));
        addVia(invite);
        osip_list_special_free(&invite->authorizations,
                               reinterpret_cast<void (*)(void *)>(&osip_authorization_free));
        osip_list_special_free(&invite->proxy_authorizations,
                               reinterpret_cast<void (*)(void *)>(&osip_authorization_free));
        osip_cseq_free(invite->cseq);
        invite->cseq = nullptr;
        const std::string cseq = std::to_string(cseqNumber(call.invite) + 1) + " INVITE";
        osip_message_set_cseq(invite, cseq.c_str());
        char *uri = nullptr;
        osip_uri_to_str(invite->req_uri, &uri);
        const bool signed_ = uri && addAuthorization(invite, call.challenge, uri);
        osip_free(uri);
        if (!signed_) {
            osip_message_free(invite);
            giveUp.push_back(call.cid);
            continue;
        }
        ++call.authAttempts;
        call.setInvite(copyOf(invite));
        const int tid = startClientTransaction(invite, KindCallInvite, call.cid);
        if (tid > 0) {
            call.inviteTid = tid;
            call.keepRequest(tid, call.invite);
        } else {
            giveUp.push_back(call.cid);
        }
    }
    for (int cid : giveUp)
        if (SipStackCall *call = callByCid(cid))
            releaseCall(*call);
    return OSIP_SUCCESS;
}

// ---- registrations -----------------------------------------------------

osip_message *SipStack::buildRegister(SipStackRegistration &reg)
{
    osip_message_t *m = newRequest("REGISTER", reg.registrar, reg.from, reg.from, reg.callId, ++reg.cseq);
    if (!m)
        return nullptr;
    osip_from_set_tag(m->from, osip_strdup(reg.fromTag.c_str()));
    const std::string contact =
        reg.contact.empty() ? defaultContact(uriUser(reg.from.c_str())) : "<" + reg.contact + ">";
    osip_message_set_contact(m, contact.c_str());
    osip_message_set_expires(m, std::to_string(reg.expires).c_str());
    addAuthorization(m, reg.challenge, reg.registrar);
    return m;
}

int SipStack::registerBuildInitialRegister(const char *from, const char *registrar, const char *contact, int expires,
                                           osip_message **reg)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (reg)
        *reg = nullptr;
    if (!from || !*from || !registrar || !*registrar || expires < 0)
        return OSIP_BADPARAMETER;
    if (!m_osip)
        return OSIP_WRONG_STATE;
    auto record = std::make_unique<SipStackRegistration>();
    record->rid = newId();
    record->from = from;
    record->registrar = registrar;
    record->contact = text(contact);
    record->expires = expires;
    record->callId = randomToken() + "@" + viaAddress();
    record->fromTag = randomToken();
    if (reg) {
        *reg = buildRegister(*record);
        if (!*reg)
            return OSIP_SYNTAXERROR;
    } else {
        // Check the addresses parse before handing out an id.
        osip_message_t *probe = buildRegister(*record);
        if (!probe)
            return OSIP_SYNTAXERROR;
        osip_message_free(probe);
        record->cseq = 0;
    }
    const int rid = record->rid;
    m_registrations[rid] = std::move(record);
    return rid;
}

int SipStack::registerBuildRegister(int rid, int expires, osip_message **reg)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!reg)
        return OSIP_BADPARAMETER;
    *reg = nullptr;
    auto it = m_registrations.find(rid);
    if (it == m_registrations.end())
        return OSIP_NOTFOUND;
    if (expires >= 0)
        it->second->expires = expires;
    *reg = buildRegister(*it->second);
    return *reg ? OSIP_SUCCESS : OSIP_SYNTAXERROR;
}

int SipStack::registerSendRegister(int rid, osip_message *reg)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_registrations.find(rid);
    if (it == m_registrations.end()) {
        if (reg)
            osip_message_free(reg);
        return OSIP_NOTFOUND;
    }
    SipStackRegistration &record = *it->second;
    if (record.pendingTid != 0 && transaction(record.pendingTid)) {
        if (reg)
            osip_message_free(reg);
        return OSIP_WRONG_STATE;
    }
    if (!reg)
        reg = buildRegister(record);
    if (!reg)
        return OSIP_SYNTAXERROR;
    const int tid = startClientTransaction(reg, KindRegister, rid);
    if (tid < 0)
        return tid;
    record.pendingTid = tid;
    return OSIP_SUCCESS;
}

int SipStack::registerRemove(int rid)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_registrations.erase(rid) ? OSIP_SUCCESS : OSIP_NOTFOUND;
}

void SipStack::masqueradeContact(const char *publicAddress, int port)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_masqueradeAddress = text(publicAddress);
    m_masqueradePort = m_masqueradeAddress.empty() ? 0 : port;
}

// ---- calls -------------------------------------------------------------

int SipStack::callBuildInitialInvite(osip_message **invite, const char *to, const char *from, const char *route,
                                     const char *subject)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!invite)
        return OSIP_BADPARAMETER;
    *invite = nullptr;
    osip_message_t *m = nullptr;
    const int built = newDialogFreeRequest("INVITE", to, from, route, &m);
    if (built != OSIP_SUCCESS)
        return built;
    if (subject && *subject)
        osip_message_set_subject(m, subject);
    osip_message_set_contact(m, defaultContact(m->from->url && m->from->url->username ? m->from->url->username : "")
                                    .c_str());
    *invite = m;
    return OSIP_SUCCESS;
}

int SipStack::newDialogFreeRequest(const char *method, const char *to, const char *from, const char *route,
                                   osip_message **out)
{
    *out = nullptr;
    if (!to || !*to || !from || !*from)
        return OSIP_BADPARAMETER;
    // The Request-URI is the To address without display name or parameters.
    osip_to_t *toHeader = nullptr;
    osip_to_init(&toHeader);
    std::string requestUri;
    if (osip_to_parse(toHeader, to) == 0 && toHeader->url) {
        char *uri = nullptr;
        if (osip_uri_to_str(toHeader->url, &uri) == 0 && uri) {
            requestUri = uri;
            osip_free(uri);
        }
    }
    osip_to_free(toHeader);
    if (requestUri.empty())
        return OSIP_SYNTAXERROR;
    osip_message_t *m = newRequest(method, requestUri, to, from, randomToken() + "@" + viaAddress(), 1);
    if (!m)
        return OSIP_SYNTAXERROR;
    osip_from_set_tag(m->from, osip_strdup(randomToken().c_str()));
    if (route && *route && osip_message_set_route(m, route) != 0) {
        osip_message_free(m);
        return OSIP_SYNTAXERROR;
    }
    *out = m;
    return OSIP_SUCCESS;
}

int SipStack::callSendInitialInvite(osip_message *invite)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!invite || !methodIs(invite, "INVITE") || !invite->from) {
        if (invite)
            osip_message_free(invite);
        return OSIP_BADPARAMETER;
    }
    auto call = std::make_unique<SipStackCall>();
    call->cid = newId();
    call->outgoing = true;
    call->callId = callIdText(invite);
    call->localTag = tagOf(invite->from);
    call->setInvite(copyOf(invite));
    const int cid = call->cid;
    SipStackCall &ref = *call;
    m_calls[cid] = std::move(call);
    const int tid = startClientTransaction(invite, KindCallInvite, cid);
    if (tid < 0) {
        m_calls.erase(cid);
        return tid;
    }
    ref.inviteTid = tid;
    ref.keepRequest(tid, ref.invite);
    return cid;
}

osip_transaction *SipStack::answerable(int tid, bool invite, int &error)
{
    osip_transaction_t *tr = transaction(tid);
    const intptr_t kind = tr ? kindOf(tr) : 0;
    const bool right = tr && tr->orig_request &&
                       (invite ? tr->ctx_type == IST && callByCid(ownerOf(tr)) != nullptr
                               : tr->ctx_type == NIST && kind == KindMessageServer);
    if (!right) {
        error = OSIP_NOTFOUND;
        return nullptr;
    }
    const bool answered = invite ? (tr->state == IST_COMPLETED || tr->state == IST_CONFIRMED ||
                                    tr->state == IST_TERMINATED)
                                 : (tr->state == NIST_COMPLETED || tr->state == NIST_TERMINATED);
    if (answered) {
        error = OSIP_WRONG_STATE;
        return nullptr;
    }
    error = OSIP_SUCCESS;
    return tr;
}

int SipStack::callBuildAnswer(int tid, int status, osip_message **answer)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!answer)
        return OSIP_BADPARAMETER;
    *answer = nullptr;
    if (status < 101 || status > 699)
        return OSIP_BADPARAMETER;
    int error = OSIP_SUCCESS;
    osip_transaction_t *tr = answerable(tid, true, error);
    if (!tr)
        return error;
    SipStackCall *call = callByCid(ownerOf(tr));
    osip_message_t *m = newResponse(tr->orig_request, status, call->localTag);
    if (!m)
        return OSIP_NOMEM;
    if (status < 300) {
        const osip_message_t *req = tr->orig_request;
        const std::string user = req->req_uri && req->req_uri->username ? req->req_uri->username : "";
        osip_message_set_contact(m, defaultContact(user).c_str());
    }
    *answer = m;
    return OSIP_SUCCESS;
}

int SipStack::callSendAnswer(int tid, int status, osip_message *answer)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!answer) {
        const int built = callBuildAnswer(tid, status, &answer);
        if (built != OSIP_SUCCESS)
            return built;
    }
    int error = OSIP_SUCCESS;
    osip_transaction_t *tr = answerable(tid, true, error);
    if (!tr) {
        osip_message_free(answer);
        return error;
    }
    SipStackCall *call = callByCid(ownerOf(tr));
    const int code = answer->status_code;
    const bool initial = tid == call->inviteTid;
    if (initial && code > 100 && code < 300 && !call->dialog) {
        osip_dialog_t *dialog = nullptr;
        if (osip_dialog_init_as_uas(&dialog, tr->orig_request, answer) == 0) {
            call->dialog = dialog;
            dialog->local_cseq = 0;
        }
    }
    if (code >= 200 && code < 300) {
        if (call->dialog)
            osip_dialog_set_state(call->dialog, DIALOG_CONFIRMED);
        // The transaction ends with the 2xx; the dialog repeats it until
        // the ACK comes (or gives up after 64*T1).
        osip_message_set_user_agent(answer, m_userAgent.c_str());
        char *host = nullptr;
        int port = 5060;
        osip_response_get_destination(answer, &host, &port);
        call->setPending2xx(copyOf(answer));
        call->pending2xxCseq = cseqNumber(answer);
        call->pending2xxHost = text(host);
        call->pending2xxPort = port;
        call->pending2xxTid = tid;
        call->interval2xxMs = m_config.t1Ms;
        call->next2xxMs = nowMs() + m_config.t1Ms;
        call->giveUp2xxMs = nowMs() + 64LL * m_config.t1Ms;
        osip_free(host);
    }
    if (initial && code >= 200) {
        call->finalSent = true;
        call->keepResponse(tid, answer);
    }
    sendAnswerOn(tr, answer);
    if (initial && code >= 300)
        releaseCall(*call);
    return OSIP_SUCCESS;
}

int SipStack::callBuildAck(int did, osip_message **ack)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!ack)
        return OSIP_BADPARAMETER;
    *ack = nullptr;
    SipStackCall *call = callByDid(did);
    if (!call || !call->dialog || !call->outgoing)
        return OSIP_NOTFOUND;
    const osip_message_t *response = call->keptResponse(call->inviteTid);
    if (!response || !MSG_IS_STATUS_2XX(response))
        return OSIP_WRONG_STATE;
    *ack = newAck(*call, cseqNumber(response));
    return *ack ? OSIP_SUCCESS : OSIP_NOMEM;
}

int SipStack::callSendAck(int did, osip_message *ack)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!ack) {
        const int built = callBuildAck(did, &ack);
        if (built != OSIP_SUCCESS)
            return built;
    }
    SipStackCall *call = callByDid(did);
    if (!call) {
        osip_message_free(ack);
        return OSIP_NOTFOUND;
    }
    std::string host;
    int port = 0;
    requestDestination(ack, host, port);
    const int sent = sendRaw(ack, host, port);
    call->setAck(ack);
    return sent < 0 ? OSIP_UNDEFINED_ERROR : OSIP_SUCCESS;
}

int SipStack::callBuildRequest(int did, const char *method, osip_message **request)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!request || !method || !*method)
        return OSIP_BADPARAMETER;
    *request = nullptr;
    if (strcasecmp(method, "ACK") == 0 || strcasecmp(method, "CANCEL") == 0)
        return OSIP_BADPARAMETER;
    SipStackCall *call = callByDid(did);
    if (!call || !call->dialog || call->released)
        return OSIP_NOTFOUND;
    *request = newInDialogRequest(*call, method);
    return *request ? OSIP_SUCCESS : OSIP_NOMEM;
}

int SipStack::callSendRequest(int did, osip_message *request)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    SipStackCall *call = callByDid(did);
    if (!request || !call) {
        if (request)
            osip_message_free(request);
        return request ? OSIP_NOTFOUND : OSIP_BADPARAMETER;
    }
    const bool bye = methodIs(request, "BYE");
    const bool invite = methodIs(request, "INVITE");
    const int tid = startClientTransaction(request, KindCallRequest, call->cid);
    if (tid > 0 && invite)
        call->keepRequest(tid, transaction(tid) ? transaction(tid)->orig_request : nullptr);
    if (tid > 0 && bye) {
        call->byeSent = true;
        call->setPending2xx(nullptr);
    }
    return tid;
}

int SipStack::callTerminate(int cid, int)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    SipStackCall *call = callByCid(cid);
    if (!call || call->released)
        return OSIP_NOTFOUND;
    if (call->byeSent || call->cancelWanted)
        return OSIP_SUCCESS;
    if (call->outgoing && !call->answered) {
        call->cancelWanted = true;
        osip_transaction_t *tr = transaction(call->inviteTid);
        const osip_message_t *last = call->keptResponse(call->inviteTid);
        if (!tr || (last && last->status_code >= 300)) {
            // Challenged and waiting for credentials, or already over.
            releaseCall(*call);
            return OSIP_SUCCESS;
        }
        if (call->provisional)
            sendCancel(*call, tr);
        return OSIP_SUCCESS;
    }
    if (!call->outgoing && !call->finalSent) {
        osip_transaction_t *tr = transaction(call->inviteTid);
        if (tr && call->invite) {
            if (osip_message_t *decline = newResponse(call->invite, 603, call->localTag))
                sendAnswerOn(tr, decline);
        }
        call->finalSent = true;
        releaseCall(*call);
        return OSIP_SUCCESS;
    }
    call->setPending2xx(nullptr);
    osip_message_t *bye = newInDialogRequest(*call, "BYE");
    if (!bye) {
        releaseCall(*call);
        return OSIP_SUCCESS;
    }
    if (startClientTransaction(bye, KindCallRequest, call->cid) > 0)
        call->byeSent = true;
    else
        releaseCall(*call);
    return OSIP_SUCCESS;
}

sdp_message *SipStack::getRemoteSdp(int tid)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    for (auto &entry : m_calls) {
        SipStackCall &call = *entry.second;
        if (!call.hasTransaction(tid))
            continue;
        // Our INVITE: the peer's SDP is in its answer; theirs: in the
        // request. A re-INVITE from the peer carries it in the request too.
        const osip_message_t *source = nullptr;
        if (call.outgoing && tid == call.inviteTid)
            source = call.keptResponse(tid);
        else if (tid == call.inviteTid)
            source = call.keptRequest(tid);
        else
            source = call.keptResponse(tid) ? call.keptResponse(tid) : call.keptRequest(tid);
        return SipSdp::fromMessage(source);
    }
    osip_transaction_t *tr = transaction(tid);
    if (!tr)
        return nullptr;
    if (tr->ctx_type == IST || tr->ctx_type == NIST)
        return SipSdp::fromMessage(tr->orig_request);
    return SipSdp::fromMessage(tr->last_response);
}

// ---- requests outside dialogs -----------------------------------------

int SipStack::messageBuildRequest(osip_message **request, const char *method, const char *to, const char *from,
                                  const char *route)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!request)
        return OSIP_BADPARAMETER;
    *request = nullptr;
    if (!method || !*method || strcasecmp(method, "INVITE") == 0 || strcasecmp(method, "ACK") == 0 ||
        strcasecmp(method, "CANCEL") == 0)
        return OSIP_BADPARAMETER;
    return newDialogFreeRequest(method, to, from, route, request);
}

int SipStack::messageSendRequest(osip_message *request)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!request)
        return OSIP_BADPARAMETER;
    if (methodIs(request, "INVITE") || methodIs(request, "ACK")) {
        osip_message_free(request);
        return OSIP_BADPARAMETER;
    }
    return startClientTransaction(request, KindMessage, 0);
}

int SipStack::messageBuildAnswer(int tid, int status, osip_message **answer)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!answer)
        return OSIP_BADPARAMETER;
    *answer = nullptr;
    if (status < 101 || status > 699)
        return OSIP_BADPARAMETER;
    int error = OSIP_SUCCESS;
    osip_transaction_t *tr = answerable(tid, false, error);
    if (!tr)
        return error;
    *answer = newResponse(tr->orig_request, status, randomToken());
    return *answer ? OSIP_SUCCESS : OSIP_NOMEM;
}

int SipStack::messageSendAnswer(int tid, int status, osip_message *answer)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (!answer) {
        const int built = messageBuildAnswer(tid, status, &answer);
        if (built != OSIP_SUCCESS)
            return built;
    }
    int error = OSIP_SUCCESS;
    osip_transaction_t *tr = answerable(tid, false, error);
    if (!tr) {
        osip_message_free(answer);
        return error;
    }
    return sendAnswerOn(tr, answer);
}
