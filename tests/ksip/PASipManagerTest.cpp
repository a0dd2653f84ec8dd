// The account bookkeeping of the SIP manager that the switch control relies
// on: one account per host, port and user, refreshed in place; volume set by
// user alone; talk and listen sessions attached to and detached from it.
#include "KelClient.h"
#include "PASipManager.h"
#include "RDCoreDevice.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

class AppSession : public KelClient
{
public:
    void queueData(const KelPacket &) override {}
    void queueAudio(const KelAudioFrame &) override {}
    void takeAudio(KelAudioFrame &) override {}
};

class SipAccounts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(PASipManager::instance(), nullptr);
        ASSERT_TRUE(PASipManager::createInstance(QStringLiteral("127.0.0.1")));
        m_sip = PASipManager::instance();
        ASSERT_NE(m_sip, nullptr);
    }
    void TearDown() override
    {
        PASipManager::destroyInstance();
        EXPECT_EQ(PASipManager::instance(), nullptr);
    }

    // As the switch control signs a zone's account in: under the lock.
    void signIn(const QString &host, int port, const QString &user, const QString &password, const QString &source,
                int volume, const std::shared_ptr<KelClient> &session = nullptr)
    {
        m_sip->lock();
        m_sip->registerSourceAccount(host, port, user, password, source, RDCoreDevice(), session,
                                     QStringLiteral("3001"), volume);
        m_sip->unlock();
    }
    PASipManager::Account account(const QString &host, int port, const QString &user)
    {
        PASipManager::Account a;
        EXPECT_TRUE(m_sip->account(host, port, user, &a)) << user.toStdString();
        return a;
    }

    PASipManager *m_sip = nullptr;
    const QString m_host = QStringLiteral("127.0.0.1");
};

TEST_F(SipAccounts, SameHostPortAndUserRefreshesTheOneAccount)
{
    signIn(m_host, 5060, "4001", "pw", "rtsp://a/1", 120);
    signIn(m_host, 5060, "4001", "pw2", "rtsp://a/2", 250);
    EXPECT_EQ(m_sip->accountCount(), 1);
    const PASipManager::Account a = account(m_host, 5060, "4001");
    EXPECT_TRUE(a.registered);
    EXPECT_EQ(a.password, "pw2");
    EXPECT_EQ(a.sourceUrl, "rtsp://a/2");
    EXPECT_EQ(a.publishPath, "3001");
    EXPECT_EQ(a.volume, 200); // 0..200

    // Any of the three differing makes another account.
    signIn(m_host, 5061, "4001", "pw", QString(), 100);
    signIn("127.0.0.2", 5060, "4001", "pw", QString(), 100);
    signIn(m_host, 5060, "5001", "pw", QString(), -5);
    EXPECT_EQ(m_sip->accountCount(), 4);
    EXPECT_EQ(account(m_host, 5060, "5001").volume, 0);

    EXPECT_TRUE(m_sip->isRegistered(m_host, 5060, "4001"));
    EXPECT_TRUE(m_sip->isRegistered(m_host, 5061, "4001"));
    EXPECT_FALSE(m_sip->isRegistered(m_host, 5062, "4001"));
    EXPECT_FALSE(m_sip->isRegistered("127.0.0.3", 5060, "4001"));
    EXPECT_FALSE(m_sip->isRegistered(m_host, 5060, "400"));
}

TEST_F(SipAccounts, UnregisterEndsOnlyTheMatchingAccount)
{
    signIn(m_host, 5060, "4001", "pw", QString(), 100);
    signIn(m_host, 5060, "5001", "pw", QString(), 100);
    signIn(m_host, 5070, "4001", "pw", QString(), 100);

    EXPECT_TRUE(m_sip->unregisterAccount(m_host, 5060, "4001"));
    EXPECT_FALSE(m_sip->isRegistered(m_host, 5060, "4001"));
    EXPECT_FALSE(m_sip->account(m_host, 5060, "4001", nullptr));
    EXPECT_TRUE(m_sip->isRegistered(m_host, 5060, "5001"));
    EXPECT_TRUE(m_sip->isRegistered(m_host, 5070, "4001"));
    EXPECT_EQ(m_sip->accountCount(), 2);

    // Signing out what is not signed in changes nothing and still succeeds.
    EXPECT_TRUE(m_sip->unregisterAccount(m_host, 5060, "4001"));
    EXPECT_TRUE(m_sip->unregisterAccount(m_host, 5060, "9999"));
    EXPECT_EQ(m_sip->accountCount(), 2);

    // Signed in again after a stop, as a zone started twice.
    signIn(m_host, 5060, "4001", "pw", QString(), 100);
    EXPECT_TRUE(m_sip->isRegistered(m_host, 5060, "4001"));
}

TEST_F(SipAccounts, VolumeIsSetByUserAloneAndKeptInRange)
{
    signIn(m_host, 5060, "4001", "pw", QString(), 100);
    signIn(m_host, 5060, "5001", "pw", QString(), 100);
    const struct { int given; int kept; } cases[] = {{0, 0}, {150, 150}, {200, 200}, {201, 200}, {-1, 0}};
    for (const auto &c : cases) {
        m_sip->setVolume("5001", c.given);
        EXPECT_EQ(account(m_host, 5060, "5001").volume, c.kept) << c.given;
        EXPECT_EQ(account(m_host, 5060, "4001").volume, 100) << c.given;
    }
    m_sip->setVolume("7777", 10); // no such account: nothing happens
    EXPECT_EQ(m_sip->accountCount(), 2);
}

TEST_F(SipAccounts, TalkAndListenSessionsAttachAndDetach)
{
    const auto app = std::make_shared<AppSession>();
    const auto other = std::make_shared<AppSession>();
    signIn(m_host, 5060, "4001", "pw", QString(), 100);
    signIn(m_host, 5060, "5001", "pw", QString(), 100);

    EXPECT_FALSE(m_sip->isTalking(m_host, 5060, "4001"));
    m_sip->startTalk(m_host, 5060, "4001", app);
    EXPECT_TRUE(m_sip->isTalking(m_host, 5060, "4001"));
    EXPECT_FALSE(m_sip->isTalking(m_host, 5060, "5001"));
    EXPECT_FALSE(m_sip->isTalking(m_host, 5061, "4001"));
    EXPECT_EQ(account(m_host, 5060, "4001").talkSession, app);
    m_sip->stopTalk(m_host, 5060, "4001", app);
    EXPECT_FALSE(m_sip->isTalking(m_host, 5060, "4001"));

    // An account signed in with a session talks from the start.
    signIn(m_host, 5060, "4002", "pw", QString(), 100, app);
    EXPECT_TRUE(m_sip->isTalking(m_host, 5060, "4002"));

    // Talk into an account that is not signed in creates nothing.
    m_sip->startTalk(m_host, 5060, "4999", app);
    EXPECT_FALSE(m_sip->account(m_host, 5060, "4999", nullptr));

    m_sip->startListen(m_host, 5060, "5001", app);
    m_sip->startListen(m_host, 5060, "5001", app); // once per session
    m_sip->startListen(m_host, 5060, "5001", other);
    m_sip->startListen(m_host, 5060, "5001", nullptr);
    EXPECT_EQ(account(m_host, 5060, "5001").listeners, (QVector<std::shared_ptr<KelClient>>{app, other}));
    m_sip->stopListen(m_host, 5060, "5001", app);
    EXPECT_TRUE(account(m_host, 5060, "5001").listeners.isEmpty());

    // Signing the account out drops the handles it held.
    m_sip->startListen(m_host, 5060, "5001", other);
    EXPECT_TRUE(m_sip->unregisterAccount(m_host, 5060, "5001"));
    EXPECT_TRUE(m_sip->unregisterAccount(m_host, 5060, "4002"));
    EXPECT_EQ(app.use_count(), 1);
    EXPECT_EQ(other.use_count(), 1);
}

} // namespace

namespace {

TEST(PASipManagerLifetime, DestroyWaitsAsleepForItsUsersAndNewUsersSeeNone)
{
    ASSERT_TRUE(PASipManager::createInstance(QStringLiteral("127.0.0.1")));
    std::mutex lock;
    std::condition_variable changed;
    bool holding = false, release = false;
    std::thread user([&] {
        PASipManager::Use sip;
        EXPECT_TRUE(sip);
        std::unique_lock<std::mutex> guard(lock);
        holding = true;
        changed.notify_all();
        changed.wait_for(guard, std::chrono::seconds(10), [&] { return release; });
    });
    {
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(10), [&] { return holding; }));
    }

    std::atomic<int> destroyerTid{0};
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        destroyerTid = PaTest::currentThreadId();
        PASipManager::destroyInstance();
        destroyed = true;
    });
    ASSERT_TRUE(PaTest::waitUntil([&] { return PASipManager::instance() == nullptr; }));
    EXPECT_FALSE(PASipManager::Use());
    // The manager stays while its user holds it, and the destroyer sleeps
    // meanwhile: looking every millisecond would switch hundreds of times.
    const long long switches = PaTest::switchesOver({destroyerTid.load()}, 300);
    EXPECT_GE(switches, 0);
    EXPECT_LE(switches, 5);
    EXPECT_FALSE(destroyed.load());

    QElapsedTimer timer;
    timer.start();
    {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
    }
    changed.notify_all();
    user.join();
    EXPECT_TRUE(PaTest::waitUntil([&] { return destroyed.load(); }, 5000));
    EXPECT_LT(timer.elapsed(), 250);
    destroyer.join();
}

} // namespace
