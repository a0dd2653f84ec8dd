// Group conferences against the switch stand-in: devices and calls are the
// stand-in's simulated endpoints, driven by its test-control commands.
#include "FSChannelsManager.h"
#include "FSConfigWriter.h"
#include "FSGroupConferences.h"
#include "FSSipRegistrationsManager.h"
#include "RDGroup.h"
#include "RDThread.h"
#include "HttpCaptureListener.h"
#include "SwitchStandIn.h"
#include "TestSupport.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QUuid>
#include <gtest/gtest.h>

#include <mutex>

using PaTest::SwitchStandIn;

namespace {

RDGroup makeGroup(int id, const QString &conference, int priority, const QStringList &devices)
{
    RDGroup g;
    g.id = id;
    g.name = QStringLiteral("Zone %1").arg(id);
    g.conference = conference;
    g.priority = priority;
    g.source = QStringLiteral("stream");
    g.inputSipNumber = g.inputSipPassword = QString::number(conference.toInt() + 1000);
    g.outputSipNumber = g.outputSipPassword = QString::number(conference.toInt() + 2000);
    for (const QString &number : devices) {
        RDDevice d;
        d.id = number.toInt();
        d.number = number;
        g.deviceList.append(d);
    }
    return g;
}

class GroupConferenceSwitch : public ::testing::Test
{
protected:
    struct Event {
        QString what; // "started", "stopped", "play"
        int groupId;
        QString conference;
        QString text; // start type, stop reason, or play index
    };

    static void SetUpTestSuite()
    {
        s_switch = new SwitchStandIn();
        ASSERT_TRUE(s_switch->start());
    }
    static void TearDownTestSuite()
    {
        EXPECT_EQ(s_switch->shutdown(), 0);
        delete s_switch;
        s_switch = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(s_switch, nullptr);
        const QString tag = QUuid::createUuid().toString(QUuid::Id128);
        m_channels.open(s_switch->path("db/core.db"), "core" + tag);
        m_registrations.open(s_switch->path("db/sofia_reg_internal.db"), "reg" + tag);
        FSGroupConferences::Environment env;
        env.execute = [](const QString &command) { return s_switch->console(command); };
        env.postStopConference = [this](const QString &conference, const QString &reason, quint64 serial) {
            std::lock_guard<std::mutex> g(m_lock);
            m_posted.append({conference, reason, serial});
        };
        env.groupStarted = [this](int id, const QString &conference, const QString &type, const QString &) {
            record({"started", id, conference, type});
        };
        env.groupStopped = [this](int id, const QString &conference, const QString &reason, const QString &) {
            record({"stopped", id, conference, reason});
        };
        env.playChanged = [this](int id, const QString &conference, int index, const QString &) {
            record({"play", id, conference, QString::number(index)});
        };
        env.internalIp = [] { return QStringLiteral("127.0.0.1"); };
        env.internalPort = [] { return 5060; };
        m_conferences = std::make_unique<FSGroupConferences>(std::move(env));
    }
    void TearDown() override
    {
        m_conferences.reset();
        m_channels.close();
        m_registrations.close();
    }

    void record(const Event &e)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_events.append(e);
    }
    QVector<Event> events(const QString &what, const QString &conference)
    {
        std::lock_guard<std::mutex> g(m_lock);
        QVector<Event> out;
        for (const Event &e : m_events)
            if (e.what == what && e.conference == conference)
                out.append(e);
        return out;
    }
    QStringList plays(const QString &conference)
    {
        QStringList out;
        for (const Event &e : events("play", conference))
            out << e.text;
        return out;
    }
    QString stopReason(const QString &conference)
    {
        const QVector<Event> stops = events("stopped", conference);
        return stops.isEmpty() ? QString() : stops.last().text;
    }

    // One supervision pass, then the stops it posted, as the queue thread would.
    void pass()
    {
        bool okChannels = false;
        bool okRegistrations = false;
        QVector<FSChannel> channels = m_channels.getChannels(&okChannels);
        QVector<FSSipRegistration> regs = m_registrations.getRegistrations(&okRegistrations);
        const FSSwitchState state(channels, regs, okChannels && okRegistrations);
        m_conferences->updateDeviceStatus(state);
        m_conferences->updateGroupStatus(currentSeconds());
        m_conferences->supervise(state, currentSeconds());
        QVector<PostedStop> posted;
        {
            std::lock_guard<std::mutex> g(m_lock);
            posted.swap(m_posted);
        }
        for (const PostedStop &p : posted)
            m_conferences->stopConference(p.conference, p.reason, p.serial);
    }
    // Passes about every 100 ms until `done` holds or the time is up.
    bool passUntil(const std::function<bool()> &done, int timeoutMs = 15000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            pass();
            if (done())
                return true;
            QElapsedTimer gap;
            gap.start();
            PaTest::waitUntil([&] { return gap.elapsed() >= 100; }, 200);
        }
        return done();
    }
    // The conference the device's leg is up in, or "" when it has none up.
    QString activeIn(const QString &number)
    {
        for (const FSChannel &c : m_channels.getChannels()) {
            if ((c.accountcode == number || c.initial_dest == number) && c.callstate == "ACTIVE")
                return c.application_data.section('@', 0, 0);
        }
        return QString();
    }
    QString console(const QString &command) { return s_switch->console(command); }
    void registerDevice(const QString &number, const QString &options = QString())
    {
        ASSERT_TRUE(console("test reg add " + number + " " + options).startsWith("+OK")) << number.toStdString();
    }

    static SwitchStandIn *s_switch;
    FSChannelsManager m_channels;
    FSSipRegistrationsManager m_registrations;
    std::unique_ptr<FSGroupConferences> m_conferences;
    std::mutex m_lock;
    QVector<Event> m_events;
    struct PostedStop {
        QString conference;
        QString reason;
        quint64 serial;
    };
    QVector<PostedStop> m_posted;
};

SwitchStandIn *GroupConferenceSwitch::s_switch = nullptr;

TEST_F(GroupConferenceSwitch, HigherPriorityTakesASharedDeviceAndGivesItBack)
{
    struct Case {
        int high, low;
        bool takesOver;
    } cases[] = {{6, 5, true}, {5, 5, false}, {4, 5, false}};
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.high << " vs " << c.low);
        ++n;
        const QString shared = QString::number(6100 + n * 10);
        const QString own = QString::number(6101 + n * 10);
        const QString lowConf = QString::number(3100 + n * 2);
        const QString highConf = QString::number(3101 + n * 2);
        registerDevice(shared);
        registerDevice(own);
        const RDGroup low = makeGroup(100 + n * 2, lowConf, c.low, {shared});
        const RDGroup high = makeGroup(101 + n * 2, highConf, c.high, {shared, own});

        m_conferences->startGroup(low, "", "", 9, "user", "test");
        ASSERT_TRUE(passUntil([&] { return activeIn(shared) == lowConf; }));
        m_conferences->startGroup(high, "", "", 9, "schedule", "test");
        ASSERT_TRUE(passUntil([&] { return activeIn(own) == highConf; }));
        if (c.takesOver) {
            ASSERT_TRUE(passUntil([&] { return activeIn(shared) == highConf; }));
            m_conferences->stopGroup(high, "user", "test");
            EXPECT_TRUE(passUntil([&] { return activeIn(shared) == lowConf; })) << "given back";
        } else {
            for (int i = 0; i < 4; ++i)
                pass();
            EXPECT_EQ(activeIn(shared), lowConf);
            m_conferences->stopGroup(high, "user", "test");
        }
        EXPECT_EQ(stopReason(highConf), "user");
        m_conferences->stopGroup(low, "user", "test");
        EXPECT_TRUE(passUntil([&] { return activeIn(shared).isEmpty(); }));
    }
}

TEST_F(GroupConferenceSwitch, DeviceStatusFollowsRegistrationsAndCalls)
{
    registerDevice("6201");
    registerDevice("6202", "answer=ring");
    registerDevice("6203", "status=Unregistered");
    pass();
    QMap<QString, QString> status = m_conferences->deviceStatus();
    EXPECT_EQ(status.value("6201"), "online");
    EXPECT_EQ(status.value("6202"), "online");
    EXPECT_EQ(status.value("6203"), "online"); // listed, though never dialled
    EXPECT_FALSE(status.contains("6204"));

    const RDGroup g = makeGroup(201, "3201", 1, {"6201", "6202", "6203"});
    m_conferences->startGroup(g, "", "", 9, "user", "test");
    ASSERT_TRUE(passUntil([&] { return m_conferences->deviceStatus().value("6201") == "calling"; }));
    status = m_conferences->deviceStatus();
    EXPECT_EQ(status.value("6202"), "online") << "ringing is not calling";
    EXPECT_EQ(m_conferences->groupStatus().value("3201").startType, "user");
    bool dialled6203 = false;
    for (const FSChannel &c : m_channels.getChannels())
        dialled6203 |= c.accountcode == "6203";
    EXPECT_FALSE(dialled6203);

    m_conferences->stopGroup(g, "user", "test");
    EXPECT_FALSE(m_conferences->groupStatus().contains("3201"));
    ASSERT_TRUE(console("test reg del 6201").startsWith("+OK"));
    EXPECT_TRUE(passUntil([&] { return !m_conferences->deviceStatus().contains("6201"); }));
}

TEST_F(GroupConferenceSwitch, MediaListLoopsByItsLoopType)
{
    QTemporaryDir media;
    ASSERT_TRUE(media.isValid());
    const QString a = media.filePath("a.wav");
    const QString b = media.filePath("it's b.wav"); // the console carries the apostrophe as it is
    const QString longItem = media.filePath("long.wav");
    ASSERT_TRUE(PaTest::writeWav(a, 300) && PaTest::writeWav(b, 300) && PaTest::writeWav(longItem, 20000));

    struct Case {
        const char *loopType;
        int times;
        int duration;
        QStringList items;
        QStringList expectedPlays; // until the stop, or the first ones for endless lists
        bool stops;
    } cases[] = {
        {"none", 0, 0, {a, b}, {"0", "1"}, true},
        {"times", 2, 0, {a, b}, {"0", "1", "0", "1"}, true},
        {"list", 0, 0, {a, b}, {"0", "1", "0", "1", "0"}, false},
        {"duration", 0, 1, {longItem, a}, {"0"}, true}, // stops in the middle of the first item
        {"list", 0, 0, {media.filePath("gone1.wav"), media.filePath("gone2.wav")}, {"0", "1"}, true},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.loopType << " " << c.items.join(",").toStdString());
        ++n;
        const QString device = QString::number(6300 + n);
        const QString conference = QString::number(3300 + n);
        registerDevice(device);
        RDGroup g = makeGroup(300 + n, conference, 1, {device});
        g.source = "media";
        g.mediumLoopType = c.loopType;
        g.mediumLoopTimes = c.times;
        g.mediumLoopDuration = c.duration;
        g.setMedia(QVector<QString>(c.items.begin(), c.items.end()));
        g.updateMedia();
        m_conferences->startGroup(g, "", "", 9, "user", "test");
        if (c.stops) {
            ASSERT_TRUE(passUntil([&] { return !stopReason(conference).isEmpty(); }, 20000));
            EXPECT_EQ(stopReason(conference), "media");
            EXPECT_EQ(plays(conference), c.expectedPlays);
            EXPECT_TRUE(m_conferences->conferences().isEmpty());
        } else {
            ASSERT_TRUE(passUntil([&] { return plays(conference).size() >= c.expectedPlays.size(); }, 20000));
            EXPECT_EQ(plays(conference).mid(0, c.expectedPlays.size()), c.expectedPlays);
            EXPECT_TRUE(stopReason(conference).isEmpty());
            m_conferences->stopGroup(g, "user", "test");
        }
        EXPECT_TRUE(passUntil([&] { return activeIn(device).isEmpty(); }));
    }
}

// File names as operators pick them (blanks, both quote marks, letters
// beyond ASCII) travel from the zone's stored list to the switch unchanged:
// a mangled name would fail to play, and a list whose items all fail ends.
TEST_F(GroupConferenceSwitch, MediaNamesWithBlanksQuotesAndNonAsciiLettersPlay)
{
    QTemporaryDir media;
    ASSERT_TRUE(media.isValid());
    const QStringList names = {QStringLiteral("morning news.wav"), QStringLiteral("it's \"live\".wav"),
                               QString::fromUtf8("Grüße ünd Çağrı.wav")};
    QVector<QString> items;
    for (const QString &name : names) {
        items.append(media.filePath(name));
        ASSERT_TRUE(PaTest::writeWav(items.last(), 200)) << name.toStdString();
    }
    const QString device = QStringLiteral("6390");
    const QString conference = QStringLiteral("3390");
    registerDevice(device);
    RDGroup g = makeGroup(390, conference, 1, {device});
    g.source = "media";
    g.mediumLoopType = "list";
    // Through the stored text, as the switch control reads a zone.
    g.setMedia(items);
    const QString stored = g.medium;
    g.mediaList.clear();
    g.medium = stored;
    g.updateMedia();
    ASSERT_EQ(g.mediaList, items);
    m_conferences->startGroup(g, "", "", 9, "user", "test");
    ASSERT_TRUE(passUntil([&] { return plays(conference).size() >= 5 || !stopReason(conference).isEmpty(); }, 20000));
    EXPECT_TRUE(stopReason(conference).isEmpty()) << stopReason(conference).toStdString();
    EXPECT_EQ(plays(conference).mid(0, 5), (QStringList{"0", "1", "2", "0", "1"}));
    m_conferences->stopGroup(g, "user", "test");
    EXPECT_TRUE(passUntil([&] { return activeIn(device).isEmpty(); }));
}

TEST_F(GroupConferenceSwitch, RecordsSurviveASwitchRestartAndAreDialledAgain)
{
    QTemporaryDir media;
    ASSERT_TRUE(media.isValid());
    QVector<QString> items;
    for (const char *name : {"one.wav", "two.wav", "three.wav"}) {
        items << media.filePath(name);
        ASSERT_TRUE(PaTest::writeWav(items.last(), 1500));
    }
    registerDevice("6501");
    RDGroup g = makeGroup(501, "3501", 1, {"6501"});
    g.source = "media";
    g.mediumLoopType = "none";
    g.setMedia(items);
    g.updateMedia();
    m_conferences->startGroup(g, "", "", 9, "user", "test");
    ASSERT_TRUE(passUntil([&] { return plays("3501") == QStringList({"0"}) && activeIn("6501") == "3501"; }));

    s_switch->kill();
    s_switch->waitForExit(10000);
    for (int i = 0; i < 6; ++i) // the switch is gone: its console answers nothing
        pass();
    ASSERT_TRUE(s_switch->start());

    // The record is still there; the device is dialled into the new switch
    // and the list goes on with its next item.
    ASSERT_TRUE(passUntil([&] { return activeIn("6501") == "3501" && plays("3501").size() >= 2; }, 30000));
    EXPECT_EQ(plays("3501").mid(0, 2), QStringList({"0", "1"}));
    EXPECT_TRUE(stopReason("3501").isEmpty());
    ASSERT_EQ(m_conferences->conferences().size(), 1);
    m_conferences->stopGroup(g, "user", "test");
}

TEST_F(GroupConferenceSwitch, InboundCallStartsTheZoneAndItsHangUpStopsIt)
{
    const RDGroup zone = makeGroup(401, "3401", 1, {"6402"});
    HttpCaptureListener route([&](const QMap<QString, QString> &f) {
        // What the program's "/fs/conference" route does with an internal call.
        if (f.value("type") == "internal" && f.value("conference") == zone.conference)
            m_conferences->startGroup(zone, f.value("caller"), "", 9, "call conference", "");
    });
    ASSERT_GT(route.port(), 0);
    ASSERT_TRUE(FSConfigWriter::writeUser(s_switch->folder(), "6401", "Desk", "6401"));
    ASSERT_TRUE(FSConfigWriter::writeCallConferenceScript(s_switch->folder(), route.port()));
    ASSERT_TRUE(console("reloadxml").startsWith("+OK"));
    registerDevice("6401");
    registerDevice("6402");

    const QString answer = console("test call 6401 3401");
    ASSERT_TRUE(answer.startsWith("+OK")) << answer.toStdString();
    ASSERT_TRUE(PaTest::waitUntil([&] { return !events("started", "3401").isEmpty(); }));
    EXPECT_EQ(route.requests().size(), 1);
    const QVector<Event> started = events("started", "3401");
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0].text, "call conference");
    // The caller's leg is in the conference and is not taken for stale; the
    // zone's device is dialled in.
    ASSERT_TRUE(passUntil([&] { return activeIn("6402") == "3401"; }));
    EXPECT_EQ(activeIn("6401"), "3401");
    EXPECT_TRUE(stopReason("3401").isEmpty());

    ASSERT_TRUE(console("test hangup 6401").startsWith("+OK"));
    ASSERT_TRUE(passUntil([&] { return !stopReason("3401").isEmpty(); }));
    EXPECT_EQ(stopReason("3401"), "internal");
    EXPECT_TRUE(passUntil([&] { return activeIn("6402").isEmpty(); }));
}

} // namespace
