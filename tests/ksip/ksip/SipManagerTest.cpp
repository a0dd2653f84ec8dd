// The user agent's accounts against a hand-driven peer on loopback:
// registration (challenge, refresh from the granted expiry, wrong password,
// masquerade, unregistration), the choice of the account for an incoming
// INVITE, incoming and outgoing calls with their SDP, RTP and endings, and
// the INVITEs that must be refused.
#include "RtpPacket.h"
#include "SipCall.h"
#include "SipChannel.h"
#include "SipChannelObserver.h"
#include "SipDigest.h"
#include "SipManager.h"
#include "SipPayload.h"
#include "SipStack.h"
#include "SipTestPeer.h"
#include "SipToneDevice.h"
#include "TestSupport.h"
#include "Tone.h"
#include "UdpPeer.h"

#include <osipparser2/osip_message.h>
#include <osipparser2/osip_parser.h>

#include <QtGlobal>
#include <gtest/gtest.h>

#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

const char kPassword[] = "s3cret-pw";

// What the accounts told, in order, with a wait on each.
class TestObserver : public SipChannelObserver
{
public:
    void note(const std::string &what)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_events.push_back(what);
        m_changed.notify_all();
    }
    int count(const std::string &what)
    {
        std::lock_guard<std::mutex> g(m_lock);
        return int(std::count(m_events.begin(), m_events.end(), what));
    }
    // Waits until `what` was told at least `times` times.
    bool waitFor(const std::string &what, int times = 1, int ms = 5000)
    {
        std::unique_lock<std::mutex> g(m_lock);
        return m_changed.wait_for(g, std::chrono::milliseconds(ms), [&] {
            return std::count(m_events.begin(), m_events.end(), what) >= times;
        });
    }

    void onCallCreated(SipChannel *, SipCall *) override { note("created"); }
    void onCallRemoved(SipChannel *, SipCall *) override { note("removed"); }
    void onCallStarted(SipChannel *, SipCall *call) override
    {
        note("started");
        if (device) {
            call->setDevice(device);
        }
    }
    void onCallStopped(SipChannel *, SipCall *) override { note("stopped"); }
    void onRegistered(SipChannel *, const char *, int, const char *) override { note("registered"); }
    void onRegisterFailed(SipChannel *, const char *, int, const char *) override { note("registerFailed"); }
    void onUnregistered(SipChannel *, const char *, int, const char *) override { note("unregistered"); }
    void onCallInvite(SipChannel *, SipCall *call, SipPayloadList *audio, SipPayloadList *) override
    {
        note(std::string("invite:") + (call->remoteNumber() ? call->remoteNumber() : ""));
        if (answer) {
            call->ring();
            call->answer(SipPayload::supportedPayloads(audio), nullptr);
        }
    }
    void onCallReinvite(SipChannel *, SipCall *) override { note("reinvite"); }
    void onCallRinging(SipChannel *, SipCall *) override { note("ringing"); }
    void onCallAnswered(SipChannel *, SipCall *) override { note("answered"); }
    void onCallClosed(SipChannel *, SipCall *) override { note("closed"); }
    void onCallReleased(SipChannel *, SipCall *) override { note("released"); }
    void onCallCancelled(SipChannel *, SipCall *) override { note("cancelled"); }
    void onCallRequestFailure(SipChannel *, SipCall *) override { note("requestFailure"); }

    bool answer = true;
    SipStreamDevice *device = nullptr;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
};

// Collects the program's log lines while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines = &m_lines;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_lines = nullptr;
    }
    std::string text()
    {
        std::lock_guard<std::mutex> g(s_lock);
        std::string all;
        for (const std::string &l : m_lines) {
            all += l + "\n";
        }
        return all;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        std::lock_guard<std::mutex> g(s_lock);
        if (s_lines) {
            s_lines->push_back(message.toStdString());
        }
    }
    static std::mutex s_lock;
    static std::vector<std::string> *s_lines;
    std::vector<std::string> m_lines;
    QtMessageHandler m_previous;
};
std::mutex LogCapture::s_lock;
std::vector<std::string> *LogCapture::s_lines = nullptr;

std::string challenge(const std::string &nonce)
{
    return "WWW-Authenticate: Digest realm=\"pa\", nonce=\"" + nonce + "\", algorithm=MD5, qop=\"auth\"\r\n";
}

std::string peerSdp(int rtpPort, const std::string &payloads, const std::string &attributes)
{
    return "v=0\r\no=peer 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio "
        + std::to_string(rtpPort) + " RTP/AVP " + payloads + "\r\n" + attributes;
}

// The first RTP packet within `ms` on `peer`, parsed; false without one.
bool nextRtp(PaTest::UdpPeer &peer, RtpPacket *packet, int ms = 3000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        std::vector<uint8_t> data = peer.receive(200);
        if (!data.empty() && packet->parse(data.data(), int(data.size()))) {
            return true;
        }
    }
    return false;
}

class SipAgent : public ::testing::Test
{
protected:
    void SetUp() override { start(); }
    void TearDown() override { manager.reset(); }

    void start(int receiveTimeoutMs = 20000)
    {
        SipStackConfig config;
        config.t1Ms = 100;
        config.t2Ms = 400;
        config.t4Ms = 500;
        manager = std::make_unique<SipManager>(PaTest::freeRtpPort(), config);
        manager->setRtpTimeoutMs(receiveTimeoutMs);
        manager->setLocalIp("127.0.0.1");
        manager->setBindAddress("127.0.0.1");
        manager->setClock([this] { return now.load(); });
        ASSERT_EQ(manager->init(PaTest::freeUdpPort(), 1), 0);
    }

    // Adds the account 1001 (second authentication id 2001) on `registrar`
    // and lets it register: a challenge, then 200 with `okHeaders`.
    SipChannel *signIn(SipTestPeer &registrar, const std::string &okHeaders = std::string())
    {
        manager->lock();
        SipChannel *channel = manager->addChannel("127.0.0.1", registrar.port(), "1001", "1001", "2001", kPassword);
        if (channel) {
            channel->setObserver(&observer);
        }
        manager->unlock();
        EXPECT_NE(channel, nullptr);
        SipReceived first = registrar.waitRequest("REGISTER", 3000);
        EXPECT_TRUE(first);
        if (!first) {
            return channel;
        }
        EXPECT_EQ(first.header("Expires"), "360");
        registrar.respond(first, 401, challenge("n1"));
        SipReceived second = registrar.waitRequest("REGISTER", 3000);
        EXPECT_TRUE(second);
        if (!second) {
            return channel;
        }
        // The account's user answers the challenge with its password.
        EXPECT_TRUE(SipDigest::verify(second.header("Authorization"), "REGISTER", "pa", "n1", kPassword))
            << second.header("Authorization");
        registrar.respond(second, 200, okHeaders);
        EXPECT_TRUE(observer.waitFor("registered"));
        return channel;
    }

    void housekeepingAfter(int64_t ms)
    {
        now += ms;
        manager->housekeeping();
    }

    // Read under the manager lock, which the event thread holds through a
    // whole event.
    int stateOf(SipChannel *channel)
    {
        manager->lock();
        const int state = channel->state();
        manager->unlock();
        return state;
    }

    int callCount(SipChannel *channel)
    {
        manager->lock();
        channel->lock();
        const int n = channel->calls().count();
        channel->unlock();
        manager->unlock();
        return n;
    }

    SipToneDevice device{1000.0};
    TestObserver observer;
    std::atomic<int64_t> now{50000000};
    std::unique_ptr<SipManager> manager;
};

TEST_F(SipAgent, RegistrationRefreshFollowsTheGrantedExpiry)
{
    SipTestPeer registrar;
    // Asked for 360 s, granted 20 s: refreshed 10 s later, not 72 s later.
    SipChannel *channel = signIn(registrar, "Contact: <sip:1001@127.0.0.1:" + std::to_string(manager->listenPort())
                                                + ">;expires=20\r\n");
    ASSERT_TRUE(channel);
    EXPECT_EQ(stateOf(channel), SipChannel::StateRegistered);
    EXPECT_EQ(channel->effectiveExpires(), 20);

    housekeepingAfter(9000);
    EXPECT_EQ(registrar.countRequests("REGISTER", 300), 0);
    EXPECT_EQ(stateOf(channel), SipChannel::StateRegistered);

    housekeepingAfter(1500);
    SipReceived refresh = registrar.waitRequest("REGISTER", 3000);
    ASSERT_TRUE(refresh);
    // The refresh still asks for what the account wants, with credentials.
    EXPECT_EQ(refresh.header("Expires"), "360");
    EXPECT_FALSE(refresh.header("Authorization").empty());
    registrar.respond(refresh, 200, "Expires: 30\r\n");
    EXPECT_TRUE(observer.waitFor("registered", 2));
    EXPECT_EQ(channel->effectiveExpires(), 30);
}

TEST_F(SipAgent, EachAccountRefreshesWithItsOwnCredentials)
{
    // Two accounts on one agent, each with its own registrar and password:
    // a refresh answers its registrar's challenge as its own user, never as
    // the account that happened to sign in last.
    SipTestPeer registrarA;
    SipTestPeer registrarB;
    const char otherPassword[] = "other-pw";
    SipChannel *a = signIn(registrarA);
    ASSERT_TRUE(a);
    manager->lock();
    SipChannel *b = manager->addChannel("127.0.0.1", registrarB.port(), "1002", "1002", "2002", otherPassword);
    b->setObserver(&observer);
    manager->unlock();
    SipReceived first = registrarB.waitRequest("REGISTER", 3000);
    ASSERT_TRUE(first);
    registrarB.respond(first, 401, challenge("m1"));
    SipReceived second = registrarB.waitRequest("REGISTER", 3000);
    ASSERT_TRUE(second);
    EXPECT_TRUE(SipDigest::verify(second.header("Authorization"), "REGISTER", "pa", "m1", otherPassword));
    registrarB.respond(second, 200);
    ASSERT_TRUE(observer.waitFor("registered", 2));

    // Both refresh (360 s asked: a fifth of it has passed).
    housekeepingAfter(73000);
    SipReceived refreshA = registrarA.waitRequest("REGISTER", 3000);
    SipReceived refreshB = registrarB.waitRequest("REGISTER", 3000);
    ASSERT_TRUE(refreshA);
    ASSERT_TRUE(refreshB);
    EXPECT_TRUE(SipDigest::verify(refreshA.header("Authorization"), "REGISTER", "pa", "n1", kPassword))
        << refreshA.header("Authorization");
    EXPECT_EQ(refreshA.header("Authorization").find("1002"), std::string::npos);
    EXPECT_TRUE(SipDigest::verify(refreshB.header("Authorization"), "REGISTER", "pa", "m1", otherPassword))
        << refreshB.header("Authorization");
}

TEST_F(SipAgent, WrongPasswordStopsAfterFourAnswersAndStartsOver)
{
    LogCapture log;
    SipTestPeer registrar;
    manager->lock();
    SipChannel *channel = manager->addChannel("127.0.0.1", registrar.port(), "1001", "1001", "2001", kPassword);
    channel->setObserver(&observer);
    manager->unlock();

    std::set<std::string> callIds;
    std::set<std::string> registers; // by CSeq: a retransmission is not another REGISTER
    for (;;) {
        SipReceived r = registrar.waitRequest("REGISTER", 1000);
        if (!r) {
            break;
        }
        callIds.insert(r.header("Call-ID"));
        registers.insert(r.header("CSeq"));
        registrar.respond(r, 401, challenge("n" + r.header("CSeq")));
    }
    // The first REGISTER and four answers to the challenge.
    EXPECT_EQ(registers.size(), 5u);
    EXPECT_TRUE(observer.waitFor("registerFailed"));
    EXPECT_EQ(stateOf(channel), SipChannel::StateFailed);
    // The log names the account, never its password.
    EXPECT_NE(log.text().find("1001@127.0.0.1:" + std::to_string(registrar.port()) + " register failure"),
              std::string::npos)
        << log.text();
    EXPECT_EQ(log.text().find(kPassword), std::string::npos);

    // The next pass starts a new registration.
    housekeepingAfter(2001);
    SipReceived fresh = registrar.waitRequest("REGISTER", 3000);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(callIds.count(fresh.header("Call-ID")), 0u);
    EXPECT_TRUE(fresh.header("Authorization").empty());
}

TEST_F(SipAgent, RegistrarSeenAddressBecomesTheContact)
{
    SipTestPeer registrar;
    manager->lock();
    SipChannel *channel = manager->addChannel("127.0.0.1", registrar.port(), "1001", "1001", "2001", kPassword);
    channel->setObserver(&observer);
    manager->unlock();

    SipReceived r = registrar.waitRequest("REGISTER", 3000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r.header("Contact").find("<sip:1001@127.0.0.1:" + std::to_string(manager->listenPort()) + ">"), 0u)
        << r.header("Contact");
    // The registrar saw this agent at another address and port.
    std::string text = r.text;
    const size_t rport = text.find(";rport");
    ASSERT_NE(rport, std::string::npos);
    text.replace(rport, 6, ";received=127.0.0.9;rport=40123");
    SipReceived seen{SipMessagePtr(nullptr), text};
    registrar.respond(seen, 200);

    SipReceived again = registrar.waitRequest("REGISTER", 3000);
    ASSERT_TRUE(again);
    EXPECT_NE(again.header("Contact").find("sip:1001@127.0.0.9:40123"), std::string::npos) << again.header("Contact");
    EXPECT_EQ(observer.count("registered"), 0);

    // Now the address matches: registered at once.
    text = again.text;
    const size_t at = text.find(";rport");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 6, ";received=127.0.0.9;rport=40123");
    registrar.respond(SipReceived{SipMessagePtr(nullptr), text}, 200);
    EXPECT_TRUE(observer.waitFor("registered"));
    EXPECT_EQ(stateOf(channel), SipChannel::StateRegistered);
    EXPECT_EQ(registrar.countRequests("REGISTER", 300), 0);
}

TEST_F(SipAgent, UnregistrationRemovesTheAccount)
{
    SipTestPeer registrar;
    SipChannel *channel = signIn(registrar);
    ASSERT_TRUE(channel);

    manager->lock();
    channel->unregister();
    EXPECT_EQ(channel->state(), SipChannel::StateUnregistering);
    manager->unlock();
    SipReceived r = registrar.waitRequest("REGISTER", 3000);
    ASSERT_TRUE(r);
    const bool zero = r.header("Expires") == "0" || r.header("Contact").find("expires=0") != std::string::npos;
    EXPECT_TRUE(zero) << r.text;
    registrar.respond(r, 200);
    EXPECT_TRUE(observer.waitFor("unregistered"));
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        manager->lock();
        gone = manager->channels().isEmpty();
        manager->unlock();
        if (!gone) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    EXPECT_TRUE(gone);
}

// INVITE text with the given Contact, top Via and To, parsed.
SipMessagePtr inviteFor(const std::string &contact, const std::string &via, const std::string &to)
{
    std::string text = "INVITE sip:" + to + " SIP/2.0\r\nVia: SIP/2.0/UDP " + via
        + ";branch=z9hG4bK1\r\nFrom: <sip:9000@127.0.0.1>;tag=1\r\nTo: <sip:" + to
        + ">\r\nCall-ID: c1\r\nCSeq: 1 INVITE\r\n";
    if (!contact.empty()) {
        text += "Contact: <sip:9000@" + contact + ">\r\n";
    }
    text += "Content-Length: 0\r\n\r\n";
    osip_message_t *m = nullptr;
    osip_message_init(&m);
    EXPECT_EQ(osip_message_parse(m, text.data(), text.size()), 0) << text;
    return SipMessagePtr(m);
}

TEST_F(SipAgent, AccountChosenForAnIncomingInvite)
{
    manager->lock();
    // Nothing listens on these loopback addresses; their REGISTERs go nowhere.
    SipChannel *a = manager->addChannel("127.0.0.11", 5060, "1001", "1001", "2001", kPassword);
    SipChannel *b = manager->addChannel("127.0.0.12", 5060, "2001", "2001", "2001", kPassword);
    SipChannel *c = manager->addChannel("127.0.0.12", 5070, "3000", "3001", "3002", kPassword);
    SipChannel *loop = manager->addChannel("", 0, "4001", nullptr, nullptr, nullptr);
    manager->unlock();
    const std::string local = "127.0.0.1:" + std::to_string(manager->listenPort());

    struct Case
    {
        const char *what;
        std::string contact, via, to;
        SipChannel *expected;
    } cases[] = {
        {"contact account whose second id is the To user, before any account of that user", "127.0.0.11",
         "127.0.0.11", "2001@127.0.0.11", a},
        {"Via account by its first id when the contact names no account", "127.0.0.20:7000", "127.0.0.12:5070",
         "3001@127.0.0.12", c},
        {"any account of the To user", "127.0.0.20", "127.0.0.20", "2001@127.0.0.30", b},
        {"idle account at the contact for an unknown user", "127.0.0.12:5070", "127.0.0.12:5070",
         "7777@127.0.0.12", c},
        {"local-loop account for this agent's own address", "127.0.0.20", "127.0.0.20", "7777@" + local, loop},
        {"first idle account when nothing else matches", "127.0.0.20", "127.0.0.20", "7777@127.0.0.30", a},
        {"without a Contact the Via's idle account", "", "127.0.0.12:5070", "7777@127.0.0.40", c},
    };
    manager->lock();
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        SipMessagePtr invite = inviteFor(k.contact, k.via, k.to);
        EXPECT_EQ(manager->findInviteChannel(invite.get()), k.expected);
    }

    // Busy accounts are passed over by the rules that want an idle one.
    a->addCall(new SipCall(a));
    c->addCall(new SipCall(c));
    SipMessagePtr toContact = inviteFor("127.0.0.12:5070", "127.0.0.12:5070", "7777@127.0.0.12");
    EXPECT_EQ(manager->findInviteChannel(toContact.get()), b);
    b->addCall(new SipCall(b));
    loop->addCall(new SipCall(loop));
    EXPECT_EQ(manager->findInviteChannel(toContact.get()), nullptr);
    // A known user is found even when busy.
    SipMessagePtr known = inviteFor("127.0.0.20", "127.0.0.20", "1001@127.0.0.30");
    EXPECT_EQ(manager->findInviteChannel(known.get()), a);
    manager->unlock();
}

TEST_F(SipAgent, IncomingCallAnsweredWithItsSdpCarriesToneAndEndsByBye)
{
    SipTestPeer peer;
    observer.device = &device;
    SipChannel *channel = signIn(peer);
    ASSERT_TRUE(channel);
    PaTest::UdpPeer rtp(PaTest::freeRtpPort());

    peer.invite(manager->listenPort(), "1001", "9000",
                peerSdp(rtp.port(), "8 0 101", "a=rtpmap:8 PCMA/8000\r\na=rtpmap:101 telephone-event/8000\r\n"));
    ASSERT_TRUE(peer.waitResponse("INVITE", 180, 3000));
    SipReceived ok = peer.waitResponse("INVITE", 200, 3000);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(observer.waitFor("invite:9000"));
    ASSERT_EQ(callCount(channel), 1);
    channel->lock();
    SipCall *call = channel->calls().at(0);
    const int audioPort = call->localAudioPort();
    channel->unlock();
    EXPECT_EQ(audioPort % 2, 0);
    // The caller's order and numbers, what this agent carries only.
    EXPECT_EQ(ok.header("Content-Type"), "application/sdp");
    EXPECT_EQ(ok.body(), "v=0\r\no=vorn 0 0 IN IP4 127.0.0.1\r\ns=conversation\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                         "m=audio "
                             + std::to_string(audioPort)
                             + " RTP/AVP 8 0\r\na=rtpmap:8 PCMA/8000\r\na=rtpmap:0 PCMU/8000\r\n");

    peer.ack(manager->listenPort(), ok);
    EXPECT_TRUE(observer.waitFor("started"));
    RtpPacket packet;
    ASSERT_TRUE(nextRtp(rtp, &packet));
    EXPECT_EQ(packet.payloadType(), 8);

    // A re-INVITE on the running call gets the same SDP back; in-dialog
    // INFO is answered as well.
    peer.inDialog(manager->listenPort(), ok, "INVITE", 2, peerSdp(rtp.port(), "8", ""));
    SipReceived again = peer.waitResponse("INVITE", 200, 3000);
    ASSERT_TRUE(again);
    EXPECT_EQ(again.body(), ok.body());
    peer.ack(manager->listenPort(), again, 2);
    EXPECT_TRUE(observer.waitFor("reinvite"));
    peer.inDialog(manager->listenPort(), ok, "INFO", 3);
    EXPECT_TRUE(peer.waitResponse("INFO", 200, 3000));

    peer.inDialog(manager->listenPort(), ok, "BYE", 4);
    EXPECT_TRUE(peer.waitResponse("BYE", 200, 3000));
    EXPECT_TRUE(observer.waitFor("closed"));
    EXPECT_TRUE(observer.waitFor("removed"));
    EXPECT_EQ(observer.count("stopped"), 1);
    EXPECT_EQ(observer.count("removed"), 1);
    EXPECT_EQ(callCount(channel), 0);
    EXPECT_GE(device.stops.load(), 1);
    // The RTP pair is free again.
    EXPECT_TRUE(SipStack::findFreePort(audioPort, 17));
    EXPECT_TRUE(SipStack::findFreePort(audioPort + 1, 17));
}

TEST_F(SipAgent, UnansweredCallCancelledByTheCaller)
{
    SipTestPeer peer;
    observer.answer = false;
    SipChannel *channel = signIn(peer);
    ASSERT_TRUE(channel);

    peer.invite(manager->listenPort(), "1001", "9000", peerSdp(4000, "8", ""));
    EXPECT_TRUE(observer.waitFor("invite:9000"));
    EXPECT_EQ(callCount(channel), 1);
    peer.cancel(manager->listenPort());
    EXPECT_TRUE(peer.waitResponse("CANCEL", 200, 3000));
    SipReceived terminated = peer.waitResponse("INVITE", 487, 3000);
    ASSERT_TRUE(terminated);
    peer.ack(manager->listenPort(), terminated);
    EXPECT_TRUE(observer.waitFor("removed"));
    EXPECT_EQ(observer.count("cancelled"), 1);
    EXPECT_EQ(callCount(channel), 0);
    EXPECT_EQ(observer.count("started"), 0);
}

TEST_F(SipAgent, InvitesThatAreRefused)
{
    SipTestPeer peer;
    SipChannel *channel = signIn(peer);
    ASSERT_TRUE(channel);
    SipTestPeer stranger("127.0.0.2");
    ASSERT_GT(stranger.port(), 0);

    struct Case
    {
        const char *what;
        SipTestPeer *from;
        std::string sdp;
        int status;
    } cases[] = {
        {"no SDP", &peer, "", 488},
        {"no codec this agent carries", &peer, peerSdp(4000, "96 97", "a=rtpmap:96 L16/8000\r\na=rtpmap:97 GSM-EFR/8000\r\n"),
         488},
        {"audio switched off", &peer, peerSdp(0, "8", ""), 488},
        {"not from the account's registrar", &stranger, peerSdp(4000, "8", ""), 403},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        k.from->invite(manager->listenPort(), "1001", "9000", k.sdp);
        SipReceived answer = k.from->waitResponse("INVITE", 0, 3000);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer.status(), k.status);
        k.from->ack(manager->listenPort(), answer);
    }
    EXPECT_EQ(observer.count("invite:9000"), 0);
    EXPECT_EQ(observer.count("created"), 0);
    EXPECT_EQ(callCount(channel), 0);

    // Requests outside a dialog are answered.
    peer.send("OPTIONS sip:1001@127.0.0.1:" + std::to_string(manager->listenPort())
                  + " SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + std::to_string(peer.port())
                  + ";branch=z9hG4bKopt1;rport\r\nFrom: <sip:9000@127.0.0.1>;tag=o1\r\nTo: <sip:1001@127.0.0.1>\r\n"
                    "Call-ID: opt1\r\nCSeq: 1 OPTIONS\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n",
              manager->listenPort());
    EXPECT_TRUE(peer.waitResponse("OPTIONS", 200, 3000));
}

TEST_F(SipAgent, OutgoingCallOffersTheDefaultSdpAndEndsWithBye)
{
    SipTestPeer peer;
    observer.device = &device;
    SipChannel *channel = signIn(peer);
    ASSERT_TRUE(channel);
    PaTest::UdpPeer rtp(PaTest::freeRtpPort());

    manager->lock();
    SipCall *call = channel->createCall();
    call->setRemoteNumber("3001");
    const int audioPort = channel->nextRtpPort();
    call->setLocalPorts(audioPort, channel->nextRtpPort());
    EXPECT_GT(channel->invite(call, SipPayload::defaultAudioPayloads(), nullptr), 0);
    channel->addCall(call);
    manager->unlock();

    SipReceived invite = peer.waitRequest("INVITE", 3000);
    ASSERT_TRUE(invite);
    EXPECT_EQ(invite.header("Subject"), "ksip");
    EXPECT_NE(invite.text.find("INVITE sip:3001@127.0.0.1:" + std::to_string(peer.port())), std::string::npos);
    EXPECT_EQ(invite.body(), "v=0\r\no=vorn 0 0 IN IP4 127.0.0.1\r\ns=conversation\r\nc=IN IP4 127.0.0.1\r\n"
                             "t=0 0\r\nm=audio "
                                 + std::to_string(audioPort)
                                 + " RTP/AVP 102 9 3 0 8\r\na=rtpmap:102 opus/48000/2\r\n"
                                   "a=fmtp:102 useinbandfec=1; cbr=1; maxaveragebitrate=48000; "
                                   "maxplaybackrate=48000; ptime=20; minptime=10; maxptime=40; stereo=1\r\n"
                                   "a=rtpmap:9 G722/8000\r\na=rtpmap:3 GSM/8000\r\na=rtpmap:0 PCMU/8000\r\n"
                                   "a=rtpmap:8 PCMA/8000\r\n");
    peer.respond(invite, 180);
    EXPECT_TRUE(observer.waitFor("ringing"));
    peer.respond(invite, 200, std::string(), peerSdp(rtp.port(), "0", ""));
    SipReceived ack = peer.waitRequest("ACK", 3000);
    ASSERT_TRUE(ack);
    EXPECT_TRUE(observer.waitFor("answered"));
    EXPECT_TRUE(observer.waitFor("started"));
    RtpPacket packet;
    ASSERT_TRUE(nextRtp(rtp, &packet));
    EXPECT_EQ(packet.payloadType(), 0);

    manager->lock();
    channel->terminateCall("3001");
    manager->unlock();
    SipReceived bye = peer.waitRequest("BYE", 3000);
    ASSERT_TRUE(bye);
    peer.respond(bye, 200);
    EXPECT_TRUE(observer.waitFor("removed"));
    EXPECT_EQ(observer.count("stopped"), 1);
    EXPECT_EQ(callCount(channel), 0);
    EXPECT_TRUE(SipStack::findFreePort(audioPort, 17));
}

TEST_F(SipAgent, ChallengedInviteRetriedAtMostFourTimes)
{
    SipTestPeer peer;
    SipChannel *channel = signIn(peer);
    ASSERT_TRUE(channel);

    manager->lock();
    SipCall *call = channel->createCall();
    call->setRemoteNumber("3001");
    call->setLocalPorts(channel->nextRtpPort(), channel->nextRtpPort());
    ASSERT_GT(channel->invite(call, SipPayload::defaultAudioPayloads(), nullptr), 0);
    channel->addCall(call);
    manager->unlock();

    std::set<std::string> invites; // by CSeq, as above
    for (;;) {
        SipReceived r = peer.waitRequest("INVITE", 1500);
        if (!r) {
            break;
        }
        invites.insert(r.header("CSeq"));
        peer.respond(r, 407,
                     "Proxy-Authenticate: Digest realm=\"pa\", nonce=\"i" + r.header("CSeq")
                         + "\", algorithm=MD5, qop=\"auth\"\r\n");
    }
    EXPECT_EQ(int(invites.size()), 1 + SipChannel::kMaxAuthRetries);
    EXPECT_TRUE(observer.waitFor("requestFailure"));
    EXPECT_TRUE(observer.waitFor("removed"));
    EXPECT_EQ(callCount(channel), 0);
}

TEST_F(SipAgent, ChallengedCallsOfTwoAccountsAreEachSignedAsTheirOwnAccount)
{
    // Two accounts on one PBX page at once and both INVITEs are challenged:
    // each retry carries its own account's name, never the other's.
    SipTestPeer peer;
    SipChannel *a = signIn(peer);
    ASSERT_TRUE(a);
    manager->lock();
    SipChannel *b = manager->addChannel("127.0.0.1", peer.port(), "1002", "1002", "2002", kPassword);
    b->setObserver(&observer);
    manager->unlock();
    SipReceived reg = peer.waitRequest("REGISTER", 3000);
    ASSERT_TRUE(reg);
    peer.respond(reg, 200);
    ASSERT_TRUE(observer.waitFor("registered", 2));

    // Both challenges reach the stack before the event thread sees either.
    manager->lock();
    for (SipChannel *channel : {a, b}) {
        SipCall *call = channel->createCall();
        call->setRemoteNumber("3001");
        call->setLocalPorts(channel->nextRtpPort(), channel->nextRtpPort());
        EXPECT_GT(channel->invite(call, SipPayload::defaultAudioPayloads(), nullptr), 0);
        channel->addCall(call);
    }
    // Every INVITE is challenged (a retransmission, on a slow machine, is
    // answered again) until both calls have acknowledged their challenge;
    // nothing that arrives meanwhile is thrown away unseen.
    std::set<std::string> challenged;
    std::set<std::string> acknowledged;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
         acknowledged.size() < 2 && std::chrono::steady_clock::now() < end;) {
        SipReceived r = peer.receive(200);
        if (!r || !MSG_IS_REQUEST(r.get()) || !r.get()->sip_method)
            continue;
        const std::string method = r.get()->sip_method;
        if (method == "INVITE") {
            challenged.insert(r.header("Call-ID"));
            peer.respond(r, 407, "Proxy-Authenticate: Digest realm=\"pa\", nonce=\"p\", algorithm=MD5\r\n");
        } else if (method == "ACK") {
            acknowledged.insert(r.header("Call-ID"));
        }
    }
    EXPECT_EQ(challenged.size(), 2u);
    EXPECT_EQ(acknowledged.size(), 2u);
    manager->unlock();

    for (int signedRetries = 0; signedRetries < 2;) {
        SipReceived retry = peer.waitRequest("INVITE", 3000);
        ASSERT_TRUE(retry);
        if (retry.header("Proxy-Authorization").empty())
            continue; // a late copy of a first, unsigned INVITE
        ++signedRetries;
        const std::string from = retry.header("From");
        const std::string user = from.find("sip:1002@") != std::string::npos ? "1002" : "1001";
        EXPECT_NE(retry.header("Proxy-Authorization").find("username=\"" + user + "\""), std::string::npos)
            << "From " << from << " signed as " << retry.header("Proxy-Authorization");
        peer.respond(retry, 486);
    }
}

TEST_F(SipAgent, SilentPeerIsEndedByTheHousekeeping)
{
    manager.reset();
    start(400);
    SipTestPeer peer;
    SipChannel *channel = signIn(peer);
    ASSERT_TRUE(channel);
    PaTest::UdpPeer rtp(PaTest::freeRtpPort());

    peer.invite(manager->listenPort(), "1001", "9000", peerSdp(rtp.port(), "0", ""));
    SipReceived ok = peer.waitResponse("INVITE", 200, 3000);
    ASSERT_TRUE(ok);
    peer.ack(manager->listenPort(), ok);
    EXPECT_TRUE(observer.waitFor("started"));
    channel->lock();
    SipCall *call = channel->calls().at(0);
    const int audioPort = call->localAudioPort();
    channel->unlock();

    // No RTP ever comes: the call turns invalid, and the next pass ends it.
    for (int i = 0; i < 100 && !call->isInvalid(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(call->isInvalid());
    housekeepingAfter(2001);
    EXPECT_TRUE(peer.waitRequest("BYE", 3000));
    EXPECT_TRUE(observer.waitFor("removed"));
    EXPECT_EQ(callCount(channel), 0);
    EXPECT_TRUE(SipStack::findFreePort(audioPort, 17));
}

TEST(SipManagerPorts, RtpPortsAreEvenPairsAndWrapAround)
{
    const int base = PaTest::freeRtpPort();
    SipManager manager(base);
    // Hold an odd port: its pair is passed over.
    const int held = base + 5;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    sa.sin_port = htons(uint16_t(held));
    const bool holding = ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0;

    std::vector<int> ports;
    for (int i = 0; i < SipManager::kRtpRange / 2 + 2; ++i) {
        ports.push_back(manager.nextRtpPort());
    }
    ::close(fd);
    int wraps = 0;
    for (size_t i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_GE(ports[i], base);
        ASSERT_LE(ports[i], base + SipManager::kRtpRange - 2);
        EXPECT_EQ((ports[i] - base) % 2, 0);
        if (holding) {
            EXPECT_NE(ports[i], held - 1);
        }
        if (i > 0 && ports[i] <= ports[i - 1]) {
            ++wraps;
        }
    }
    EXPECT_EQ(ports[0], base);
    EXPECT_EQ(wraps, 1);
}

TEST(SipManagerInit, ListenPortFreeForUdpAndTcp)
{
    const int port = PaTest::freeTcpPort();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    sa.sin_port = htons(uint16_t(port));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa), 0);
    ASSERT_EQ(::listen(fd, 1), 0);

    SipManager manager;
    manager.setLocalIp("127.0.0.1");
    manager.setBindAddress("127.0.0.1");
    ASSERT_EQ(manager.init(port, 1), 0);
    EXPECT_GT(manager.listenPort(), port);
    // No stack, no account.
    SipManager idle;
    idle.lock();
    EXPECT_EQ(idle.addChannel("127.0.0.1", 5060, "1", "1", "1", "p"), nullptr);
    idle.unlock();
    manager.release();
    ::close(fd);
}

// Idle, the event thread sleeps until its next pass (two seconds away), yet a
// release still ends it at once rather than when that wait runs out.
TEST(SipManagerInit, IdleEventThreadSleepsUntilItsPassAndReleaseWakesIt)
{
    SipManager manager;
    manager.setLocalIp("127.0.0.1");
    manager.setBindAddress("127.0.0.1");
    ASSERT_EQ(manager.init(PaTest::freeTcpPort(), 1), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto before = std::chrono::steady_clock::now();
    manager.release();
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 1000);
}

} // namespace
