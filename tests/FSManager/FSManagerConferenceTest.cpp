// The group operations through the switch manager itself: its supervision
// thread makes the passes, its message-queue thread carries the stops.
#include "FSConference.h"
#include "FSGroupConferences.h"
#include "FSManager.h"
#include "FSManagerObserver.h"
#include "KelClient.h"
#include "PASipManager.h"
#include "RDGroup.h"
#include "SwitchStandIn.h"
#include "TestSupport.h"
#include "VDB.h"
#include "VelmarDB.h"

#include <QDataStream>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <mutex>

namespace {

class RecordingObserver : public FSManagerObserver
{
public:
    void onGroupStarted(int id, const QString &conference, const QString &type, const QString &from) override
    {
        add(QStringLiteral("started %1 %2 %3 %4").arg(id).arg(conference, type, from));
    }
    void onGroupStopped(int id, const QString &conference, const QString &reason, const QString &from) override
    {
        add(QStringLiteral("stopped %1 %2 %3 [%4]").arg(id).arg(conference, reason, from));
        std::lock_guard<std::mutex> g(m_lock);
        m_stopThread = QThread::currentThread();
    }
    void onGroupPlayChanged(int id, const QString &conference, int index, const QString &) override
    {
        add(QStringLiteral("play %1 %2 %3").arg(id).arg(conference).arg(index));
    }
    QStringList events()
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_events;
    }
    QThread *stopThread()
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_stopThread;
    }

private:
    void add(const QString &e)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_events << e;
    }
    std::mutex m_lock;
    QStringList m_events;
    QThread *m_stopThread = nullptr;
};

class AppSession : public KelClient
{
public:
    void queueData(const KelPacket &) override {}
    void queueAudio(const KelAudioFrame &) override {}
    void takeAudio(KelAudioFrame &) override {}
};

int freeUdpPort()
{
    return PaTest::freeUdpPort();
}

} // namespace

TEST(FSManagerConferences, MediaGroupPlaysThroughAndIsStoppedOnTheQueueThread)
{
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    const QString oldDataDir = VDB::dataDir();
    VDB::setDataDir(data.path());
    {
        VelmarDB db(true);
        db.checkUpgrade();
    }
    qputenv("RUVIDAZA_TEST_HOOKS", "1");
    PaTest::SwitchStandIn sw(true);
    ASSERT_TRUE(sw.isValid());
    ASSERT_TRUE(PaTest::writeWav(data.filePath("a.wav"), 200) && PaTest::writeWav(data.filePath("b.wav"), 200));

    FSManager *fs = FSManager::createInstance();
    RecordingObserver observer;
    fs->addObserver(&observer);
    fs->setDirectory(sw.folder());
    fs->setNetwork("127.0.0.1", "255.0.0.0", freeUdpPort(), false, "127.0.0.1", freeUdpPort(), "PCMU");
    ASSERT_TRUE(fs->start());
    ASSERT_TRUE(PaTest::waitUntil([&] { return fs->isReady(); }, 60000));
    ASSERT_TRUE(sw.console("test reg add 6601").startsWith("+OK"));
    EXPECT_TRUE(PaTest::waitUntil([&] { return fs->deviceStatus().value("6601") == "online"; }));

    RDGroup g;
    g.id = 61;
    g.conference = "3601";
    VelmarDB::fillSipNumbers(g);
    g.source = "media";
    g.mediumLoopType = "none";
    g.setMedia({data.filePath("a.wav"), data.filePath("b.wav")});
    g.updateMedia();
    RDDevice d;
    d.id = 1;
    d.number = "6601";
    g.deviceList << d;
    fs->startGroup(g, "", "", 9, "api", "app");
    EXPECT_TRUE(fs->groupStatus().value("3601").started);

    ASSERT_TRUE(PaTest::waitUntil([&] { return observer.events().size() >= 4; }, 30000))
        << observer.events().join("\n").toStdString();
    EXPECT_EQ(observer.events(), QStringList({"started 61 3601 api app", "play 61 3601 0", "play 61 3601 1",
                                              "stopped 61 3601 media []"}));
    EXPECT_NE(observer.stopThread(), QThread::currentThread());
    EXPECT_TRUE(PaTest::waitUntil([&] { return !fs->groupStatus().contains("3601"); }));
    EXPECT_TRUE(PaTest::waitUntil([&] { return fs->deviceStatus().value("6601") == "online"; }))
        << "hung up with the conference";

    fs->stop();
    fs->removeObserver(&observer);
    FSManager::destroyInstance();
    VDB::setDataDir(oldDataDir);
}

// Every group operation of the manager lands in its one set of conference
// records (and its SIP accounts and observers), with no switch running.
TEST(FSManagerConferences, GroupOperationsReachTheConferenceRecords)
{
    ASSERT_TRUE(PASipManager::createInstance("127.0.0.1"));
    PASipManager *sip = PASipManager::instance();
    FSManager *fs = FSManager::createInstance();
    RecordingObserver observer;
    fs->addObserver(&observer);
    const int port = freeUdpPort();
    fs->setNetwork("127.0.0.1", "255.0.0.0", port, false, "127.0.0.1", freeUdpPort(), "PCMU");
    auto records = [&] {
        QStringList out;
        for (const FSConference &r : fs->conferences()->conferences())
            out << QStringLiteral("%1 v%2").arg(r.conference).arg(r.volume);
        return out;
    };

    RDGroup g;
    g.id = 71;
    g.conference = "3701";
    VelmarDB::fillSipNumbers(g);
    g.source = "media";
    g.volume = 4;
    g.priority = 2;
    fs->startGroup(g, "", "", 0, "api", "app");
    EXPECT_EQ(records(), QStringList{"3701 v4"});
    ASSERT_TRUE(fs->conferences()->waitForCommands(5000));
    // Both accounts sign in on the switch's internal profile (no switch
    // answers here, so they stay signing in).
    EXPECT_TRUE(sip->account("127.0.0.1", port, g.inputSipNumber, nullptr));
    EXPECT_TRUE(sip->account("127.0.0.1", port, g.outputSipNumber, nullptr));
    EXPECT_TRUE(fs->groupStatus().value("3701").started);

    g.volume = -3;
    EXPECT_TRUE(fs->updateGroupVolume(g));
    EXPECT_EQ(records(), QStringList{"3701 v-3"});
    EXPECT_TRUE(fs->changeGroupMedia(g, 1));
    EXPECT_EQ(fs->conferences()->conferences().value(0).command, FSConference::CommandSwitch);

    // Listening and talking act on the accounts' running calls (none here:
    // nothing breaks); the input account keeps the talk session for the
    // call the switch places next.
    const auto app = std::make_shared<AppSession>();
    fs->startListenGroup(g, app);
    fs->stopListenGroup(g, app);
    PASipManager::Account in;
    fs->startTalkGroup(g, app);
    ASSERT_TRUE(fs->conferences()->waitForCommands(5000));
    ASSERT_TRUE(sip->account("127.0.0.1", port, g.inputSipNumber, &in));
    EXPECT_EQ(in.talkSession, app);
    EXPECT_EQ(records(), QStringList{"3701 v-10"}) << "app talk interrupts the group";
    fs->stopTalkGroup(g, app);
    ASSERT_TRUE(fs->conferences()->waitForCommands(5000));
    ASSERT_TRUE(sip->account("127.0.0.1", port, g.inputSipNumber, &in));
    EXPECT_EQ(in.talkSession, nullptr);
    EXPECT_FALSE(sip->isTalking("127.0.0.1", port, g.inputSipNumber));

    fs->stopGroup(g, "api", "app");
    EXPECT_TRUE(records().isEmpty());
    ASSERT_TRUE(fs->conferences()->waitForCommands(5000));
    EXPECT_FALSE(sip->account("127.0.0.1", port, g.inputSipNumber, nullptr)) << "signing out";
    EXPECT_FALSE(fs->groupStatus().contains("3701"));

    fs->startGroup(g, "", "", 0, "api", "app");
    fs->stopConference("3701", "media");
    EXPECT_TRUE(records().isEmpty());
    EXPECT_FALSE(fs->groupStatus().contains("3701"));
    EXPECT_EQ(observer.events(), QStringList({"started 71 3701 api app", "stopped 71 3701 api [app]",
                                              "started 71 3701 api app", "stopped 71 3701 media []"}));

    fs->removeObserver(&observer);
    FSManager::destroyInstance();
    PASipManager::destroyInstance();
}
