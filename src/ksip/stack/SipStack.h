#pragma once

#include "SipStackConfig.h"
#include "SipStackCredential.h"
#include "SipStackEvent.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct osip;
struct osip_message;
struct osip_transaction;
struct sdp_message;
class SipStackCall;
struct SipStackRegistration;
struct SipStackChallenge;
struct osip_event;
struct osip_dialog;
class SipStackTransport;

// The program's SIP user agent stack: transactions (oSIP's state machines),
// dialogs, registrations with digest authentication, INVITE sessions in both
// directions and an event queue, over one UDP socket.
//
// Threads: the stack runs its own transport thread that owns the socket and
// every timer; it waits in poll() until a datagram, a call from another
// thread or the next timer is due. Every public method may be called from
// any thread. lock()/unlock() take the stack's recursive lock; a caller that
// needs several calls to act as one (build, then send) holds it around them.
// Every method also takes it itself, so a single call needs no lock.
// eventWait() never takes the stack lock: it may be called while another
// thread holds it.
//
// Results: methods returning int give 0 (or a positive id) on success and a
// negative oSIP error code (OSIP_BADPARAMETER, OSIP_NOTFOUND,
// OSIP_WRONG_STATE, OSIP_UNDEFINED_ERROR, ...) on failure. Messages handed to
// a send method belong to the stack from then on, whatever the result.
//
// Several stacks may live in one process; they share nothing.
class SipStack
{
public:
    explicit SipStack(const SipStackConfig &config = SipStackConfig());
    ~SipStack();  // quit()

    SipStack(const SipStack &) = delete;
    SipStack &operator=(const SipStack &) = delete;

    // ---- context ------------------------------------------------------

    // Prepares the transaction layer. 0, or an error when oSIP cannot start.
    int init();
    // Stops the transport thread, closes the socket and forgets every
    // registration, call and queued event. Sends nothing. Safe to repeat.
    void quit();
    // Sends at once, on the calling thread, the first transmission of
    // every request and answer queued so far (the transport thread may not
    // have run since): a stack about to quit calls this first so that its
    // last BYEs leave. Retransmissions and answers are not waited for.
    void flushOutgoing();

    // True when `port` can be bound on every IPv4 address for UDP (protocol
    // 17) or TCP (protocol 6). Port 0 or an unknown protocol: false.
    static bool findFreePort(int port, int protocol);

    // Opens the signalling socket and starts the transport thread. Only UDP
    // (17), IPv4 (family 2) and secure 0 are supported; anything else returns
    // OSIP_BADPARAMETER. `address` null or "" or "0.0.0.0" = every address.
    // Port 0 takes a free port (see listenPort()). Call once, after init().
    int listenAddr(int protocol, const char *address, int port, int family, int secure);

    // The bound port; 0 before listenAddr succeeded.
    int listenPort() const;

    // This host's IPv4 address: the first private address of an interface
    // that is up, else its first other address; "127.0.0.1" when none is up.
    // Never opens a connection.
    static std::string guessLocalIp(int family = 2);

    // Accepted for compatibility with account setup; has no effect (the
    // stack takes contact and Via addresses from the messages it builds and
    // from masqueradeContact). Returns 0.
    int addAccountInfo(const char *proxy, const char *natAddress, int natPort);

    // Our User-Agent header text; default from the configuration.
    void setUserAgent(const std::string &userAgent);

    // The address put in Via and in stack-built Contacts: the masquerade
    // address when set, else the listen address when it is a specific one,
    // else guessLocalIp(). setLocalAddress overrides the guess.
    void setLocalAddress(const std::string &address);
    std::string localAddress() const;

    void lock();
    void unlock();

    // ---- events ---------------------------------------------------------

    // The oldest queued event, waiting up to seconds + milliseconds for one;
    // null on time-out or after quit(). Dropping the pointer frees the event.
    SipStackEventPtr eventWait(int seconds, int milliseconds);
    // Ends a wait in eventWait() at once (the next one, when none waits):
    // how an event thread waiting for its next pass is told to stop.
    void interruptEventWait();

    // ---- authentication -------------------------------------------------

    // Forget every credential.
    int clearAuthenticationInfo();
    // Credentials for answering 401/407: user name, authentication user id
    // (the name sent in the Authorization; `user` when null/empty), password
    // or a precomputed `ha1` hex text, and the realm they apply to (null/"" =
    // any realm). Returns 0, OSIP_BADPARAMETER without a user or without both
    // password and ha1.
    int addAuthenticationInfo(const char *user, const char *userId, const char *password, const char *ha1,
                              const char *realm);
    // Resends, with credentials, every outgoing call INVITE whose last answer
    // was a 401/407 not yet retried. Each call is resent at most
    // config.maxAuthAttempts times; beyond that, or without matching
    // credentials, the call is given up (CallReleased). REGISTERs are not
    // touched (registerSendRegister retries them). With `cid` above 0 only
    // that call is looked at: the credentials held may be those of one
    // account only. Returns 0.
    int automaticAction(int cid = 0);

    // ---- registrations --------------------------------------------------

    // Creates a registration context: From/To = `from`, Request-URI =
    // `registrar`, Contact = `contact` (null: sip:<from user>@<local
    // address>:<listen port>), Expires = `expires`. Builds the first REGISTER
    // into *reg when reg is not null (the caller may add headers, then passes
    // it to registerSendRegister). Returns the registration id (> 0) or an
    // error.
    int registerBuildInitialRegister(const char *from, const char *registrar, const char *contact, int expires,
                                     osip_message **reg);
    // Builds the next REGISTER of a registration: new CSeq, new branch,
    // Authorization from the last challenge. expires < 0 keeps the current
    // value. OSIP_NOTFOUND for an unknown rid.
    int registerBuildRegister(int rid, int expires, osip_message **reg);
    // Sends `reg` (or, when null, a freshly built REGISTER of the
    // registration). OSIP_WRONG_STATE while a REGISTER of that rid is still
    // waiting for its final answer (so a caller's periodic resend never
    // stacks transactions towards a silent registrar).
    int registerSendRegister(int rid, osip_message *reg);
    // Forgets a registration (sends nothing; a pending REGISTER's answer is
    // then ignored). OSIP_NOTFOUND for an unknown rid.
    int registerRemove(int rid);
    // Later Contacts and Vias built by this stack carry this address and
    // port (as learnt from a registrar's received/rport). null/0 clears it.
    void masqueradeContact(const char *publicAddress, int port);

    // ---- calls ----------------------------------------------------------

    // Builds an INVITE: Request-URI and To = `to`, From = `from` (a tag is
    // added), optional Route, Subject when not null/empty, our Contact, Via
    // with ;rport, Max-Forwards 70, User-Agent. The caller may add a body
    // (osip_message_set_body / osip_message_set_content_type).
    int callBuildInitialInvite(osip_message **invite, const char *to, const char *from, const char *route,
                               const char *subject);
    // Sends an INVITE built above; returns the call id (> 0) or an error.
    int callSendInitialInvite(osip_message *invite);

    // Builds a response with `status` (101..699) to the INVITE or re-INVITE
    // transaction `tid` (our To tag, Contact for 1xx/2xx). OSIP_NOTFOUND for
    // an unknown tid, OSIP_WRONG_STATE when it was already answered finally.
    int callBuildAnswer(int tid, int status, osip_message **answer);
    // Sends `answer` (or, when null, a bodyless answer built with `status`).
    // A 2xx is retransmitted from T1 doubling up to T2 until its ACK arrives;
    // with no ACK after 64*T1 the stack sends BYE and raises CallReleased.
    int callSendAnswer(int tid, int status, osip_message *answer);

    // Builds the ACK for the 2xx of dialog `did`.
    int callBuildAck(int did, osip_message **ack);
    // Sends it (or, when null, a freshly built one). The stack sends the same
    // ACK again for every retransmission of that 2xx.
    int callSendAck(int did, osip_message *ack);

    // Builds a request inside dialog `did` ("INVITE" for a re-INVITE,
    // "OPTIONS", "INFO", "UPDATE", "BYE"...), with the dialog's next CSeq and
    // route set.
    int callBuildRequest(int did, const char *method, osip_message **request);
    // Sends it; returns the transaction id. Answers arrive as CallMessage*
    // events; a 2xx to a re-INVITE is acknowledged by the stack itself.
    int callSendRequest(int did, osip_message *request);

    // Ends a call: our unanswered outgoing INVITE is cancelled (CANCEL once a
    // provisional answer came; a 2xx arriving later is acknowledged and ended
    // with BYE); an incoming INVITE not answered finally gets 603 Decline; an
    // established dialog gets BYE. did 0 ends every dialog of the call.
    // CallReleased follows. OSIP_NOTFOUND for an unknown cid.
    int callTerminate(int cid, int did);

    // The peer's SDP of transaction `tid`: the body of the incoming request
    // for a transaction we answer, else of the last response received. Null
    // when there is none. Free with sdp_message_free.
    sdp_message *getRemoteSdp(int tid);

    // ---- requests outside dialogs ---------------------------------------

    // Builds a request outside any dialog (OPTIONS, MESSAGE, ...): Request-URI
    // and To = `to`, From = `from` with a tag, optional Route.
    int messageBuildRequest(osip_message **request, const char *method, const char *to, const char *from,
                            const char *route);
    // Sends it; returns the transaction id. Answers arrive as Message* events.
    int messageSendRequest(osip_message *request);
    // Builds the response `status` to the incoming request of `tid` (from a
    // MessageNew event).
    int messageBuildAnswer(int tid, int status, osip_message **answer);
    // Sends `answer` (or, when null, a bodyless one with `status`).
    int messageSendAnswer(int tid, int status, osip_message *answer);

    // Requests raised with tid 0 (see SipStackConfig::statelessRegister):
    // builds the response `status` to `request` (with a To tag), and sends
    // an answer built so (or, when null, a bodyless one with `status`),
    // remembering it for the request's retransmissions.
    int messageBuildStatelessAnswer(const osip_message *request, int status, osip_message **answer);
    int messageSendStatelessAnswer(const osip_message *request, int status, osip_message *answer);

    // ---- inspection ------------------------------------------------------

    // Handles one datagram as if it had arrived on the socket from
    // fromIp:fromPort, then runs the transactions it touched. Works after
    // init() even without listenAddr (answers then go nowhere). For tests
    // and fuzzing.
    void receiveDatagram(const char *data, size_t length, const std::string &fromIp, int fromPort);

    // Datagrams received that were dropped unparsed or answered 400 since
    // init (for tests and the log).
    uint64_t rejectedMessages() const;

private:
    friend struct SipStackCallbacks;

    void run();
    int nextWaitMs();
    void executeTransactions();
    // Runs the transactions' queued events until none is left (bounded).
    void runTransactionEvents();
    void handleDatagram(const char *data, size_t length, const std::string &fromIp, int fromPort);
    void handleNewRequest(osip_event *evt);
    // True when the request was handled without a transaction.
    bool handleStatelessRequest(osip_message *request);
    static std::string statelessKey(const osip_message *request);
    void handleStrayResponse(osip_message *response);
    void handleAck(osip_message *ack);
    void handleCancel(osip_event *evt);
    void handleInDialogRequest(osip_event *evt, SipStackCall &call);
    void onTransactionMessage(int type, osip_transaction *tr, osip_message *message);
    void onTransactionKilled(osip_transaction *tr);
    void onClientAnswer(int type, osip_transaction *tr, osip_message *response);
    void onClientTimeout(osip_transaction *tr);
    void runCallTimers();
    // Requests to a host whose name failed to resolve fail now (oSIP's
    // transport-error path) instead of at their next retransmission.
    void failRequestsTo(const std::string &host);
    void sweepUnanswered();
    void freeGarbage();

    int newId() { return m_nextId++; }
    int startClientTransaction(osip_message *request, int kind, int ownerId);
    int startServerTransaction(osip_event *evt, int kind, int ownerId);
    void applyTimers(osip_transaction *tr);
    int sendAnswerOn(osip_transaction *tr, osip_message *answer);
    int sendRaw(osip_message *message, const std::string &host, int port);
    void sendStatelessResponse(const osip_message *request, int status);
    void post(SipStackEventType type, int rid, int cid, int did, int tid, const osip_message *request,
              const osip_message *response, const osip_message *ack = nullptr);
    void releaseCall(SipStackCall &call);
    // Cancels our ringing INVITE `tr` of `call` (once).
    void sendCancel(SipStackCall &call, osip_transaction *tr);
    // When the ring timers next act on `call` (the ring limit of an
    // outgoing call ringing unanswered, or the give-up time of its
    // cancelled INVITE); INT64_MAX when they have nothing to do with it.
    int64_t ringDueMs(const SipStackCall &call) const;
    // Outgoing calls ringing past their limit, and cancelled INVITEs the
    // peer never finishes.
    void runRingTimers(int64_t now);
    // Takes `tr` out of the stack and oSIP without an answer; it is freed
    // with the garbage.
    void dropTransaction(osip_transaction *tr);

    std::string viaAddress() const;
    int viaPort() const;
    std::string defaultContact(const std::string &user) const;
    std::string randomToken();
    osip_message *newRequest(const char *method, const std::string &requestUri, const std::string &to,
                             const std::string &from, const std::string &callId, unsigned cseq);
    osip_message *newResponse(const osip_message *request, int status, const std::string &toTag);
    void addVia(osip_message *message);
    int newDialogFreeRequest(const char *method, const char *to, const char *from, const char *route,
                             osip_message **out);
    osip_message *newInDialogRequest(SipStackCall &call, const char *method);
    osip_message *newAck(SipStackCall &call, unsigned cseq);
    osip_message *newCancel(const osip_message *invite);
    bool addAuthorization(osip_message *request, SipStackChallenge &challenge, const std::string &uri);
    osip_message *buildRegister(SipStackRegistration &reg);
    SipStackCall *callByCid(int cid);
    SipStackCall *callByDid(int did);
    SipStackCall *callByDialog(const osip_message *request);
    osip_transaction *transaction(int tid);
    // A server transaction of `tid` still waiting for its final answer
    // (INVITE or out-of-dialog request), else null with the error to return.
    osip_transaction *answerable(int tid, bool invite, int &error);

    struct osip *m_osip = nullptr;
    SipStackConfig m_config;
    mutable std::recursive_mutex m_lock;
    std::mutex m_queueLock;
    std::condition_variable m_queueSignal;
    bool m_waitInterrupted = false;
    std::deque<SipStackEventPtr> m_queue;
    std::unique_ptr<SipStackTransport> m_transport;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<uint64_t> m_rejected{0};
    std::map<int, std::unique_ptr<SipStackCall>> m_calls;
    std::map<int, std::unique_ptr<SipStackRegistration>> m_registrations;
    std::map<int, osip_transaction *> m_transactions;
    std::deque<osip_transaction *> m_garbage;
    std::deque<SipStackCredential> m_credentials;
    // Answers sent without a transaction, by request key, oldest first.
    struct StatelessAnswer
    {
        std::string key;
        int64_t sentMs = 0;
        std::string host;
        int port = 0;
        std::string text;
    };
    std::deque<StatelessAnswer> m_statelessAnswers;
    std::map<std::string, size_t> m_statelessIndex;  // key -> sequence number
    size_t m_statelessFirst = 0;                     // sequence number of the front
    int m_nextId = 1;
    int64_t m_nextSweepMs = 0;
    uint64_t m_randomState = 0;
    std::string m_userAgent;
    std::string m_localAddress;
    std::string m_guessedAddress;
    std::string m_masqueradeAddress;
    int m_masqueradePort = 0;
    // Source of the datagram being handled, for the events it raises.
    std::string m_datagramIp;
    int m_datagramPort = 0;
};
