#pragma once

#include <functional>
#include <string>

// Settings of one stack instance. The defaults are RFC 3261's timer values;
// tests shrink T1/T2/T4 so retransmission schedules and time-outs run in
// milliseconds.
struct SipStackConfig
{
    int t1Ms = 500;   // round-trip estimate: first retransmission interval
    int t2Ms = 4000;  // cap of the doubling retransmission interval
    int t4Ms = 5000;  // how long an answered INVITE transaction absorbs repeated ACKs (timer I)
    // Authenticated resends automaticAction() makes for one call or
    // out-of-dialog request before a further 401/407 is left as final.
    int maxAuthAttempts = 4;
    // An incoming INVITE the application leaves without a final answer this
    // long is answered 408 and released (RFC 3261 timer C's 3 minutes).
    int inviteAnswerLimitMs = 180000;
    // An outgoing INVITE that rings (got a provisional answer) this long
    // without a final one is reported as not answered (CallNoAnswer) and
    // cancelled, as RFC 3261's timer C does.
    int inviteRingLimitMs = 180000;
    // Host names (registrar, proxy, trunk) are looked up without blocking
    // the stack: `dnsServers` "ip[:port],..." replaces the system's servers
    // when set; each server is tried `dnsTries` times, `dnsTimeoutMs` the
    // first (c-ares doubles it on later rounds). A name that cannot be
    // resolved fails the requests to it (the usual failure events) and is
    // logged through `log` (null: standard error).
    std::string dnsServers;
    int dnsTimeoutMs = 2000;
    int dnsTries = 2;
    std::function<void(const std::string &)> log;
    // Our User-Agent header text.
    std::string userAgent = "ksip-ua/1.0";
    // Largest datagram accepted; anything longer is dropped unread.
    int maxDatagramBytes = 8192;
    // Transactions the stack keeps at once (0 = no limit). Beyond it a new
    // request outside any dialog is answered 503 without a transaction, so
    // a flood costs no memory that outlives its datagrams.
    int maxTransactions = 0;
    // REGISTER outside dialogs is handled without a transaction (for a
    // registrar under load: oSIP looks transactions up one by one). It is
    // raised as MessageNew with tid 0 and answered with
    // messageSendStatelessAnswer; a retransmission of a request already
    // answered gets the same answer again, for 64*T1.
    bool statelessRegister = false;
};
