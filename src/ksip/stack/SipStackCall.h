#pragma once

#include "SipStackChallenge.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

struct osip_message;
struct osip_dialog;

// One call context of the stack (a call id): the initial INVITE, its dialog
// and the state that outlives oSIP's INVITE transactions (2xx
// retransmission, the ACK to repeat, cancellation).
class SipStackCall
{
public:
    SipStackCall() = default;
    ~SipStackCall();
    SipStackCall(const SipStackCall &) = delete;
    SipStackCall &operator=(const SipStackCall &) = delete;

    // Transactions whose messages are kept, besides the INVITE's own and
    // the one awaiting an ACK.
    static constexpr size_t kKeptTransactions = 8;

    // Remembers copies of a transaction's request and latest response
    // (those of the oldest transactions beyond the limit are dropped).
    void keepRequest(int tid, const osip_message *request);
    void keepResponse(int tid, const osip_message *response);
    const osip_message *keptRequest(int tid) const;
    const osip_message *keptResponse(int tid) const;
    bool hasTransaction(int tid) const { return m_kept.count(tid) != 0; }

    // Replaces the ACK repeated for 2xx retransmissions (owned).
    void setAck(osip_message *ack);
    // Replaces the 2xx we retransmit until its ACK (owned; null stops).
    void setPending2xx(osip_message *response);
    // Replaces the initial INVITE (owned).
    void setInvite(osip_message *invite);

    int cid = 0;
    int did = 0;
    bool outgoing = false;
    osip_message *invite = nullptr;  // initial INVITE (ours or the peer's)
    int inviteTid = 0;               // its current transaction
    osip_dialog *dialog = nullptr;
    std::string callId;
    std::string localTag;

    // Outgoing side.
    bool provisional = false;   // a 1xx came for the INVITE
    bool answered = false;      // a 2xx came
    bool cancelWanted = false;  // callTerminate before the final answer
    bool cancelSent = false;
    int64_t ringingSinceMs = 0;  // when the first 1xx came
    int64_t cancelGiveUpMs = 0;  // a CANCEL sent: when to stop waiting for the INVITE's final answer
    osip_message *ack = nullptr;
    unsigned authAttempts = 0;
    SipStackChallenge challenge;

    // Incoming side.
    bool finalSent = false;                // the INVITE got its final answer
    int64_t receivedMs = 0;                // when the peer's INVITE arrived
    osip_message *pending2xx = nullptr;    // 2xx awaiting its ACK
    unsigned pending2xxCseq = 0;
    std::string pending2xxHost;
    int pending2xxPort = 0;
    int pending2xxTid = 0;
    int64_t next2xxMs = 0;
    int interval2xxMs = 0;
    int64_t giveUp2xxMs = 0;

    bool byeSent = false;
    bool released = false;

private:
    void dropOldKept(int newest);

    struct Kept
    {
        osip_message *request = nullptr;
        osip_message *response = nullptr;
    };
    std::map<int, Kept> m_kept;
};
