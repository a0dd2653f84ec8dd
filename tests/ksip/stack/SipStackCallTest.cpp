// Two stacks in one process on loopback: a caller and a callee (or an
// account and its registrar) exchanging real datagrams.
#include "SipDigest.h"
#include "SipSdp.h"
#include "SipStackCall.h"
#include "StackPeer.h"

#include <gtest/gtest.h>
#include <osipparser2/osip_parser.h>
#include <osipparser2/sdp_message.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using T = SipStackEventType;

const char *kOffer = "v=0\r\no=test 0 0 IN IP4 127.0.0.1\r\ns=call\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                     "m=audio 40000 RTP/AVP 8 0\r\na=rtpmap:8 PCMA/8000\r\n";
const char *kAnswer = "v=0\r\no=peer 0 0 IN IP4 127.0.0.1\r\ns=call\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                      "m=audio 41000 RTP/AVP 8\r\na=rtpmap:8 PCMA/8000\r\n";

std::string header(const osip_message_t *m, const char *name)
{
    osip_header_t *h = nullptr;
    osip_message_header_get_byname(m, name, 0, &h);
    return h && h->hvalue ? h->hvalue : "";
}

std::string authorizationOf(const osip_message_t *m)
{
    osip_authorization_t *auth = nullptr;
    osip_message_get_authorization(m, 0, &auth);
    char *text = nullptr;
    if (!auth || osip_authorization_to_str(auth, &text) != 0)
        return "";
    std::string out(text);
    osip_free(text);
    return out;
}

void setBody(osip_message_t *m, const char *sdp)
{
    osip_message_set_body(m, sdp, strlen(sdp));
    osip_message_set_content_type(m, "application/sdp");
}

// Caller A, callee B, with short timers so failures show in seconds.
class SipStackCallTest : public ::testing::Test
{
protected:
    static SipStackConfig fast()
    {
        SipStackConfig c;
        c.t1Ms = 50;
        c.t2Ms = 400;
        c.t4Ms = 500;
        return c;
    }

    SipStackCallTest()
        : a(fast())
        , b(fast())
    {
    }

    // A calls `to` with an optional SDP offer; returns the call id.
    int callFromA(StackPeer &to, const char *offer)
    {
        osip_message_t *invite = nullptr;
        if (a.stack.callBuildInitialInvite(&invite, to.uri("200").c_str(), a.uri("100").c_str(), nullptr, "ksip") !=
            0)
            return -1;
        if (offer)
            setBody(invite, offer);
        return a.stack.callSendInitialInvite(invite);
    }

    // A calls B; B rings and answers; A acknowledges. Leaves the call up.
    void establish()
    {
        cid = callFromA(b, kOffer);
        ASSERT_GT(cid, 0);

        auto in = b.waitFor(T::CallInvite);
        ASSERT_TRUE(in);
        EXPECT_EQ(header(in->request, "subject"), "ksip");
        EXPECT_EQ(in->remoteAddress, "127.0.0.1");
        EXPECT_EQ(in->remotePort, a.port());
        bTid = in->tid;
        bCid = in->cid;
        sdp_message_t *offer = b.stack.getRemoteSdp(bTid);
        ASSERT_TRUE(offer);
        EXPECT_EQ(SipSdp::mediaPort(SipSdp::audioMedia(offer)), 40000);
        sdp_message_free(offer);

        ASSERT_TRUE(a.waitFor(T::CallProceeding));  // the automatic 100
        ASSERT_EQ(b.stack.callSendAnswer(bTid, 180, nullptr), 0);
        ASSERT_TRUE(a.waitFor(T::CallRinging));

        osip_message_t *ok = nullptr;
        ASSERT_EQ(b.stack.callBuildAnswer(bTid, 200, &ok), 0);
        setBody(ok, kAnswer);
        ASSERT_EQ(b.stack.callSendAnswer(bTid, 200, ok), 0);
        auto answered = a.waitFor(T::CallAnswered);
        ASSERT_TRUE(answered);
        aDid = answered->did;
        ASSERT_GT(aDid, 0);
        sdp_message_t *remote = a.stack.getRemoteSdp(answered->tid);
        ASSERT_TRUE(remote);
        EXPECT_EQ(SipSdp::mediaPort(SipSdp::audioMedia(remote)), 41000);
        sdp_message_free(remote);

        ASSERT_EQ(a.stack.callSendAck(aDid, nullptr), 0);
        auto ack = b.waitFor(T::CallAck);
        ASSERT_TRUE(ack);
        EXPECT_EQ(ack->cid, bCid);
        bDid = ack->did;
    }

    StackPeer a;
    StackPeer b;
    int cid = 0, aDid = 0, bTid = 0, bCid = 0, bDid = 0;
};

// A peer may re-INVITE an established call without end: the call record
// keeps the messages of its latest transactions only, never those of the
// INVITE itself or of a 2xx still waiting for its ACK.
TEST(SipStackCallRecord, KeptMessagesOfEndlessReinvitesStayBounded)
{
    parser_init();
    const std::string text = "INVITE sip:a@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:5070;branch=z9hG4bK1\r\n"
                             "From: <sip:b@127.0.0.1>;tag=1\r\nTo: <sip:a@127.0.0.1>\r\nCall-ID: k1\r\n"
                             "CSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n";
    osip_message_t *request = nullptr;
    ASSERT_EQ(osip_message_init(&request), 0);
    ASSERT_EQ(osip_message_parse(request, text.data(), text.size()), 0);

    SipStackCall call;
    call.inviteTid = 1;
    call.keepRequest(1, request);
    call.keepResponse(1, request);
    const int last = 5000;
    for (int tid = 2; tid <= last; ++tid) {
        call.keepRequest(tid, request);
        if (tid == 100)
            call.pending2xxTid = 100;
    }
    EXPECT_NE(call.keptRequest(1), nullptr);
    EXPECT_NE(call.keptResponse(1), nullptr);
    EXPECT_NE(call.keptRequest(100), nullptr);
    EXPECT_NE(call.keptRequest(last), nullptr);
    EXPECT_FALSE(call.hasTransaction(2));
    int kept = 0;
    for (int tid = 1; tid <= last; ++tid)
        kept += call.hasTransaction(tid) ? 1 : 0;
    EXPECT_LE(kept, static_cast<int>(SipStackCall::kKeptTransactions) + 2);
    osip_message_free(request);
}

TEST_F(SipStackCallTest, InviteRingAnswerAckThenByeFromEitherSide)
{
    for (bool fromCaller : {true, false}) {
        SCOPED_TRACE(fromCaller ? "caller hangs up" : "callee hangs up");
        establish();
        StackPeer &ender = fromCaller ? a : b;
        StackPeer &other = fromCaller ? b : a;
        const int enderCid = fromCaller ? cid : bCid;
        const int enderDid = fromCaller ? aDid : bDid;
        ASSERT_EQ(ender.stack.callTerminate(enderCid, enderDid), 0);
        auto closed = other.waitFor(T::CallClosed);
        ASSERT_TRUE(closed);
        EXPECT_EQ(closed->cid, fromCaller ? bCid : cid);
        EXPECT_TRUE(other.waitFor(T::CallReleased));
        EXPECT_TRUE(ender.waitFor(T::CallReleased));
        // The 2xx was acknowledged, so nobody gave up on it with a BYE of
        // its own, and the ended call is unknown afterwards.
        ender.seen.clear();
        ender.drain(200);
        EXPECT_EQ(ender.count(T::CallClosed), 0);
        EXPECT_EQ(ender.stack.callTerminate(enderCid, enderDid), OSIP_NOTFOUND);
    }
}

TEST_F(SipStackCallTest, ReinviteAndInDialogRequests)
{
    establish();
    // re-INVITE from the caller: the callee answers it with SDP, the stack
    // acknowledges the 2xx itself.
    osip_message_t *reinvite = nullptr;
    ASSERT_EQ(a.stack.callBuildRequest(aDid, "INVITE", &reinvite), 0);
    setBody(reinvite, kOffer);
    const int reTid = a.stack.callSendRequest(aDid, reinvite);
    ASSERT_GT(reTid, 0);
    auto re = b.waitFor(T::CallReinvite);
    ASSERT_TRUE(re);
    EXPECT_EQ(re->cid, bCid);
    osip_message_t *ok = nullptr;
    ASSERT_EQ(b.stack.callBuildAnswer(re->tid, 200, &ok), 0);
    setBody(ok, kAnswer);
    ASSERT_EQ(b.stack.callSendAnswer(re->tid, 200, ok), 0);
    auto answered = a.waitFor(T::CallMessageAnswered);
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->response->status_code, 200);
    EXPECT_TRUE(b.waitFor(T::CallAck));

    // OPTIONS and INFO are answered 200 by the stack, UPDATE with an offer 501.
    const struct {
        const char *method;
        bool body;
        int status;
    } cases[] = {{"OPTIONS", false, 200}, {"INFO", false, 200}, {"UPDATE", false, 200}, {"UPDATE", true, 501},
                 {"NOTIFY", false, 501}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.method);
        osip_message_t *req = nullptr;
        ASSERT_EQ(a.stack.callBuildRequest(aDid, c.method, &req), 0);
        if (c.body)
            setBody(req, kOffer);
        ASSERT_GT(a.stack.callSendRequest(aDid, req), 0);
        auto got = b.waitFor(T::CallMessageNew);
        ASSERT_TRUE(got);
        EXPECT_STREQ(got->request->sip_method, c.method);
        auto answer = a.waitFor(c.status == 200 ? T::CallMessageAnswered : T::CallMessageServerFailure);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->response->status_code, c.status);
    }
    // The call is still up: BYE works.
    ASSERT_EQ(a.stack.callTerminate(cid, aDid), 0);
    EXPECT_TRUE(b.waitFor(T::CallClosed));
}

TEST_F(SipStackCallTest, CancelBeforeAnswer)
{
    cid = callFromA(b, kOffer);
    ASSERT_GT(cid, 0);
    auto in = b.waitFor(T::CallInvite);
    ASSERT_TRUE(in);
    ASSERT_EQ(b.stack.callSendAnswer(in->tid, 180, nullptr), 0);
    ASSERT_TRUE(a.waitFor(T::CallRinging));
    ASSERT_EQ(a.stack.callTerminate(cid, 0), 0);
    auto cancelled = b.waitFor(T::CallCancelled);
    ASSERT_TRUE(cancelled);
    EXPECT_STREQ(cancelled->request->sip_method, "CANCEL");
    auto failed = a.waitFor(T::CallRequestFailure);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->response->status_code, 487);
    EXPECT_TRUE(a.waitFor(T::CallReleased));
    EXPECT_TRUE(b.waitFor(T::CallReleased));
    // The cancelled INVITE can no longer be answered.
    EXPECT_NE(b.stack.callSendAnswer(in->tid, 200, nullptr), 0);
}

TEST_F(SipStackCallTest, RejectedInviteEndsTheCallOnBothSides)
{
    cid = callFromA(b, nullptr);
    ASSERT_GT(cid, 0);
    auto in = b.waitFor(T::CallInvite);
    ASSERT_TRUE(in);
    ASSERT_EQ(b.stack.callSendAnswer(in->tid, 488, nullptr), 0);
    EXPECT_TRUE(b.waitFor(T::CallReleased));
    auto failed = a.waitFor(T::CallRequestFailure);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->response->status_code, 488);
    EXPECT_TRUE(a.waitFor(T::CallReleased));
    EXPECT_EQ(b.stack.callTerminate(in->cid, 0), OSIP_NOTFOUND);
}

TEST_F(SipStackCallTest, OptionsOutsideDialog)
{
    osip_message_t *options = nullptr;
    ASSERT_EQ(a.stack.messageBuildRequest(&options, "OPTIONS", b.uri("200").c_str(), a.uri("100").c_str(), nullptr),
              0);
    ASSERT_GT(a.stack.messageSendRequest(options), 0);
    auto in = b.waitFor(T::MessageNew);
    ASSERT_TRUE(in);
    EXPECT_STREQ(in->request->sip_method, "OPTIONS");
    EXPECT_EQ(in->remotePort, a.port());
    ASSERT_EQ(b.stack.messageSendAnswer(in->tid, 200, nullptr), 0);
    auto answered = a.waitFor(T::MessageAnswered);
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->response->status_code, 200);
    EXPECT_FALSE(header(answered->response, "user-agent").empty());
}

// Requests the application never answers do not hold the stack for ever:
// an INVITE gets 408 after the answer limit, an out-of-dialog request is
// dropped after 64*T1 (its sender has given up by then).
TEST_F(SipStackCallTest, UnansweredRequestsAreNotKeptForEver)
{
    SipStackConfig config = fast();
    config.inviteAnswerLimitMs = 300;
    StackPeer callee(config);
    cid = callFromA(callee, nullptr);
    ASSERT_GT(cid, 0);
    auto in = callee.waitFor(T::CallInvite);
    ASSERT_TRUE(in);
    auto failed = a.waitFor(T::CallRequestFailure, 3000);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->response->status_code, 408);
    EXPECT_TRUE(callee.waitFor(T::CallReleased, 1000));
    EXPECT_EQ(callee.stack.callSendAnswer(in->tid, 200, nullptr), OSIP_NOTFOUND);

    osip_message_t *options = nullptr;
    ASSERT_EQ(a.stack.messageBuildRequest(&options, "OPTIONS", callee.uri("200").c_str(), a.uri("100").c_str(),
                                          nullptr),
              0);
    ASSERT_GT(a.stack.messageSendRequest(options), 0);
    auto question = callee.waitFor(T::MessageNew);
    ASSERT_TRUE(question);
    // Still answerable well inside 64*T1 (after a few sweeps) ...
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    osip_message_t *answer = nullptr;
    EXPECT_EQ(callee.stack.messageBuildAnswer(question->tid, 200, &answer), 0);
    osip_message_free(answer);
    // ... gone once the sender's timer F has run out.
    EXPECT_TRUE(a.waitFor(T::MessageRequestFailure, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(callee.stack.messageSendAnswer(question->tid, 200, nullptr), OSIP_NOTFOUND);
}

// B plays a registrar with digest authentication.
class SipStackRegisterTest : public SipStackCallTest
{
protected:
    // Answers one REGISTER at B: 401 with a challenge when it carries no
    // valid credentials for `password`, else 200. Returns the status sent.
    int registrarAnswer(const std::string &password, std::string *authorization = nullptr)
    {
        auto in = b.waitFor(T::MessageNew);
        if (!in)
            return 0;
        EXPECT_STREQ(in->request->sip_method, "REGISTER");
        const std::string credentials = authorizationOf(in->request);
        if (authorization)
            *authorization = credentials;
        const bool valid =
            !credentials.empty() && SipDigest::verify(credentials, "REGISTER", "pa.test", "n0nce", password);
        osip_message_t *answer = nullptr;
        EXPECT_EQ(b.stack.messageBuildAnswer(in->tid, valid ? 200 : 401, &answer), 0);
        if (!answer)
            return 0;
        if (!valid)
            osip_message_set_www_authenticate(answer,
                                              "Digest realm=\"pa.test\", nonce=\"n0nce\", algorithm=MD5, qop=\"auth\"");
        else
            osip_message_set_contact(answer, "<sip:100@127.0.0.1>;expires=60");
        EXPECT_EQ(b.stack.messageSendAnswer(in->tid, 0, answer), 0);
        return valid ? 200 : 401;
    }
};

TEST_F(SipStackRegisterTest, DigestChallengeThenRefreshWithNextNonceCount)
{
    osip_message_t *reg = nullptr;
    const int rid = a.stack.registerBuildInitialRegister(a.uri("100").c_str(),
                                                         ("sip:127.0.0.1:" + std::to_string(b.port())).c_str(),
                                                         nullptr, 360, &reg);
    ASSERT_GT(rid, 0);
    EXPECT_EQ(header(reg, "expires"), "360");
    a.stack.addAuthenticationInfo("100", "100", "secret", nullptr, nullptr);
    ASSERT_EQ(a.stack.registerSendRegister(rid, reg), 0);
    // A REGISTER still waiting for its answer is not sent twice.
    EXPECT_EQ(a.stack.registerSendRegister(rid, nullptr), OSIP_WRONG_STATE);

    EXPECT_EQ(registrarAnswer("secret"), 401);
    auto failure = a.waitFor(T::RegistrationFailure);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->rid, rid);
    EXPECT_EQ(failure->response->status_code, 401);

    ASSERT_EQ(a.stack.registerSendRegister(rid, nullptr), 0);
    std::string first;
    EXPECT_EQ(registrarAnswer("secret", &first), 200);
    auto success = a.waitFor(T::RegistrationSuccess);
    ASSERT_TRUE(success);
    EXPECT_EQ(success->rid, rid);
    EXPECT_NE(first.find("nc=00000001"), std::string::npos) << first;

    // Refresh: new transaction, same challenge, next nonce count.
    ASSERT_EQ(a.stack.registerSendRegister(rid, nullptr), 0);
    std::string second;
    EXPECT_EQ(registrarAnswer("secret", &second), 200);
    ASSERT_TRUE(a.waitFor(T::RegistrationSuccess));
    EXPECT_NE(second.find("nc=00000002"), std::string::npos) << second;

    EXPECT_EQ(a.stack.registerRemove(rid), 0);
    EXPECT_EQ(a.stack.registerSendRegister(rid, nullptr), OSIP_NOTFOUND);
}

TEST_F(SipStackRegisterTest, WrongPasswordIsChallengedAgain)
{
    const int rid = a.stack.registerBuildInitialRegister(
        a.uri("100").c_str(), ("sip:127.0.0.1:" + std::to_string(b.port())).c_str(), nullptr, 360, nullptr);
    ASSERT_GT(rid, 0);
    a.stack.addAuthenticationInfo("100", "100", "wrong", nullptr, nullptr);
    ASSERT_EQ(a.stack.registerSendRegister(rid, nullptr), 0);
    EXPECT_EQ(registrarAnswer("secret"), 401);
    ASSERT_TRUE(a.waitFor(T::RegistrationFailure));
    ASSERT_EQ(a.stack.registerSendRegister(rid, nullptr), 0);
    std::string credentials;
    EXPECT_EQ(registrarAnswer("secret", &credentials), 401);
    EXPECT_FALSE(credentials.empty());
    ASSERT_TRUE(a.waitFor(T::RegistrationFailure));
}

TEST_F(SipStackRegisterTest, InviteChallengeRetriesAreBounded)
{
    a.stack.addAuthenticationInfo("100", "100", "secret", nullptr, nullptr);
    cid = callFromA(b, nullptr);
    ASSERT_GT(cid, 0);
    int invites = 0;
    // B challenges every INVITE with 407; A retries through automaticAction.
    while (auto in = b.waitFor(T::CallInvite, 1000)) {
        ++invites;
        if (invites > 1) {
            osip_proxy_authorization_t *credentials = nullptr;
            osip_message_get_proxy_authorization(in->request, 0, &credentials);
            EXPECT_TRUE(credentials);
        }
        osip_message_t *answer = nullptr;
        ASSERT_EQ(b.stack.callBuildAnswer(in->tid, 407, &answer), 0);
        osip_message_set_proxy_authenticate(answer, "Digest realm=\"pa.test\", nonce=\"abc\", qop=\"auth\"");
        ASSERT_EQ(b.stack.callSendAnswer(in->tid, 407, answer), 0);
        auto failed = a.waitFor(T::CallRequestFailure);
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->response->status_code, 407);
        a.stack.automaticAction();
        if (invites > 10)
            break;
    }
    EXPECT_EQ(invites, 1 + SipStackConfig().maxAuthAttempts);
    EXPECT_TRUE(a.waitFor(T::CallReleased));
}

TEST_F(SipStackRegisterTest, ChallengedCallEndedWithoutRetryIsReleasedAtOnce)
{
    cid = callFromA(b, nullptr);
    ASSERT_GT(cid, 0);
    auto in = b.waitFor(T::CallInvite);
    ASSERT_TRUE(in);
    osip_message_t *answer = nullptr;
    ASSERT_EQ(b.stack.callBuildAnswer(in->tid, 401, &answer), 0);
    osip_message_set_www_authenticate(answer, "Digest realm=\"pa.test\", nonce=\"abc\"");
    ASSERT_EQ(b.stack.callSendAnswer(in->tid, 401, answer), 0);
    ASSERT_TRUE(a.waitFor(T::CallRequestFailure));
    // The application gives up instead of retrying: no CANCEL after a final
    // answer, and the call is gone well before the transaction's own end.
    ASSERT_EQ(a.stack.callTerminate(cid, 0), 0);
    EXPECT_TRUE(a.waitFor(T::CallReleased, 500));
    b.seen.clear();
    b.drain(200);
    EXPECT_EQ(b.count(T::CallCancelled), 0);
    EXPECT_EQ(a.stack.callTerminate(cid, 0), OSIP_NOTFOUND);
}

} // namespace
