// The group operations through the switch manager itself: its supervision
// thread makes the passes, its message-queue thread carries the stops.
#include "FSManager.h"
#include "FSManagerObserver.h"
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

bool writeWav(const QString &path, int ms)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const quint32 dataBytes = quint32(8000 * 2 * ms / 1000);
    QDataStream s(&f);
    s.setByteOrder(QDataStream::LittleEndian);
    f.write("RIFF");
    s << quint32(36 + dataBytes);
    f.write("WAVEfmt ");
    s << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(16000) << quint16(2) << quint16(16);
    f.write("data");
    s << dataBytes;
    f.write(QByteArray(int(dataBytes), '\0'));
    return true;
}

int freeUdpPort()
{
    QUdpSocket s;
    s.bind(QHostAddress(QHostAddress::LocalHost), 0);
    return s.localPort();
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
    ASSERT_TRUE(writeWav(data.filePath("a.wav"), 200) && writeWav(data.filePath("b.wav"), 200));

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
