#include "KelCode.h"
#include "KelDiscovery.h"
#include "KelRateLimiter.h"
#include "KelTestSupport.h"
#include "RDSocketAddress.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUdpSocket>

#include <gtest/gtest.h>

using namespace KelTest;

TEST(KelDiscovery, ReplyMembersFollowTheSettings)
{
    KelDiscoveryInfo info;
    info.wsEnable = 1;
    info.wsPort = 9024;
    info.kelcodeEnable = 1;
    info.kelcode = QStringLiteral("stored-code");
    info.internalIp = QStringLiteral("10.0.0.5");
    info.uid = QStringLiteral("uid-1");
    info.name = QStringLiteral("PA");

    const QByteArray ws = KelDiscovery::buildReply(info);
    EXPECT_EQ(ws.indexOf(' '), -1);
    EXPECT_EQ(ws.indexOf('\n'), -1);
    const QJsonObject o = QJsonDocument::fromJson(ws).object();
    KelCode code;
    ASSERT_TRUE(KelCode::decode(o.value(QStringLiteral("code")).toString(), code));
    EXPECT_EQ(code.payload, QStringLiteral("10.0.0.5:9024"));
    EXPECT_EQ(o.value(QStringLiteral("uid")).toString(), QStringLiteral("uid-1"));
    EXPECT_EQ(o.value(QStringLiteral("name")).toString(), QStringLiteral("PA"));
    EXPECT_EQ(o.value(QStringLiteral("type")).toString(), QStringLiteral("Velmar"));
    EXPECT_EQ(o.value(QStringLiteral("version")).toString(), QStringLiteral("2.3.0"));
    ASSERT_TRUE(o.value(QStringLiteral("result")).isDouble());
    EXPECT_EQ(o.value(QStringLiteral("result")).toInt(), 0);

    info.wsEnable = 0;
    EXPECT_EQ(QJsonDocument::fromJson(KelDiscovery::buildReply(info)).object().value(QStringLiteral("code")).toString(),
              QStringLiteral("stored-code"));
    info.kelcode.clear();
    EXPECT_FALSE(QJsonDocument::fromJson(KelDiscovery::buildReply(info)).object().contains(QStringLiteral("code")));
    info.kelcode = QStringLiteral("stored-code");
    info.kelcodeEnable = 0;
    EXPECT_FALSE(QJsonDocument::fromJson(KelDiscovery::buildReply(info)).object().contains(QStringLiteral("code")));
}

TEST(KelRateLimiter, AtMostCountInAnyWindow)
{
    KelRateLimiter limiter(10, 1.0);
    int allowed = 0;
    // 1000 requests spread over 1 s.
    for (int i = 0; i < 1000; ++i)
        allowed += limiter.allow(100.0 + i * 0.001) ? 1 : 0;
    EXPECT_EQ(allowed, 10);
    EXPECT_TRUE(limiter.allow(101.0));
    // A steady trickle below the rate is always answered.
    KelRateLimiter slow(10, 1.0);
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(slow.allow(i * 0.2));
}

class KelDiscoveryLoopback : public ::testing::Test
{
protected:
    void SetUp() override
    {
        requestPort = freeUdpPort();
        ASSERT_TRUE(listener.bind(QHostAddress(QHostAddress::LocalHost), 0));
        discovery.setListenAddress(RDSocketAddress("127.0.0.1", requestPort));
        discovery.setReplyAddress(RDSocketAddress("127.0.0.1", listener.localPort()));
        discovery.setInfoSource([this] {
            ++infoReads;
            KelDiscoveryInfo info;
            info.wsEnable = 1;
            info.wsPort = 9100;
            info.internalIp = QStringLiteral("127.0.0.1");
            info.uid = QStringLiteral("uid-loop");
            info.name = QStringLiteral("PA test");
            return info;
        });
        threadsBefore = PaTest::threadIdsNamed(QString());
        ASSERT_TRUE(discovery.start());
    }
    void TearDown() override { discovery.stop(); }

    void request(const QByteArray &bytes)
    {
        sender.writeDatagram(bytes, QHostAddress(QHostAddress::LocalHost), quint16(requestPort));
    }
    QList<QByteArray> takeReplies()
    {
        QList<QByteArray> out;
        while (listener.hasPendingDatagrams()) {
            QByteArray d(int(listener.pendingDatagramSize()), '\0');
            listener.readDatagram(d.data(), d.size());
            out << d;
        }
        return out;
    }

    int requestPort = 0;
    QList<int> threadsBefore;
    std::atomic<int> infoReads{0};
    QUdpSocket listener;
    QUdpSocket sender;
    KelDiscovery discovery;
};

TEST_F(KelDiscoveryLoopback, AnyJsonObjectIsAnsweredAndNothingElse)
{
    request("not json");
    request("[1,2,3]");
    request("");
    request("{}");
    QList<QByteArray> replies;
    ASSERT_TRUE(PaTest::waitUntil([&] {
        replies << takeReplies();
        return !replies.isEmpty();
    }));
    // Requests are handled in order: had the junk been answered, its reply
    // would be here too.
    ASSERT_EQ(replies.size(), 1);
    const QJsonObject o = QJsonDocument::fromJson(replies.at(0)).object();
    EXPECT_EQ(o.value(QStringLiteral("uid")).toString(), QStringLiteral("uid-loop"));
    KelCode code;
    ASSERT_TRUE(KelCode::decode(o.value(QStringLiteral("code")).toString(), code));
    EXPECT_EQ(code.payload, QStringLiteral("127.0.0.1:9100"));

    request("{\"anything\":[1]}");
    ASSERT_TRUE(PaTest::waitUntil([&] { return !takeReplies().isEmpty(); }));
}

TEST_F(KelDiscoveryLoopback, FloodIsRateLimitedAndLaterRequestsStillAnswered)
{
    QElapsedTimer timer;
    timer.start();
    int replies = 0;
    for (int i = 0; i < 1000; ++i) {
        request("{}");
        if (i % 50 == 0)
            replies += takeReplies().size();
    }
    // Once the window has passed, requests are answered again.
    int lateBase = -1;
    ASSERT_TRUE(PaTest::waitUntil(
        [&] {
            replies += takeReplies().size();
            if (timer.elapsed() < 1100)
                return false;
            if (lateBase < 0)
                lateBase = replies;
            request("{}");
            return replies > lateBase;
        },
        10000));
    const double seconds = timer.elapsed() / 1000.0;
    // At most 10 answers in any second: an unlimited service answers all 1000.
    EXPECT_LE(replies, int(10 * (seconds + 1)));
    // The settings are read at most once a second, not per request.
    EXPECT_LE(infoReads.load(), int(seconds + 2));
}

TEST_F(KelDiscoveryLoopback, IdleThreadSleepsUntilARequestOrAStop)
{
    QList<int> ids;
    ASSERT_TRUE(PaTest::waitUntil([&] { return !(ids = PaTest::threadIdsNamed("Kel Discovery", threadsBefore)).isEmpty(); }));
    // A thread that looks for requests every few milliseconds switches
    // dozens of times in half a second.
    const long long switches = PaTest::switchesOver(ids, 500);
    EXPECT_GE(switches, 0);
    EXPECT_LE(switches, 5);

    request("{}");
    ASSERT_TRUE(PaTest::waitUntil([&] { return !takeReplies().isEmpty(); }));

    QElapsedTimer timer;
    timer.start();
    discovery.stop();
    EXPECT_LT(timer.elapsed(), 250);
    EXPECT_FALSE(discovery.isRunning());
}
