#include "FSGroupConferences.h"
#include "FSGroupStartType.h"
#include "FSSwitchState.h"
#include "PASipManager.h"
#include "RDGroup.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>

namespace {

RDGroup zone(int id, const QString &conference, const QString &source = QStringLiteral("media"))
{
    RDGroup g;
    g.id = id;
    g.conference = conference;
    g.source = source;
    g.volume = 5;
    g.priority = 3;
    g.inputSipNumber = QString::number(conference.toInt() + 1000);
    g.inputSipPassword = "in-pw";
    g.outputSipNumber = QString::number(conference.toInt() + 2000);
    g.outputSipPassword = "out-pw";
    g.medium = "/m/a.mp3\n/m/b.mp3";
    g.updateMedia();
    g.prayFiles = "/p/fajr.mp3\n\n/p/asr.mp3";
    g.updatePrayFiles();
    RDDevice d;
    d.id = 7;
    d.number = "6007";
    g.deviceList << d;
    return g;
}

class FSGroupConferencesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PASipManager::createInstance("127.0.0.1");
        FSGroupConferences::Environment env;
        env.execute = [this](const QString &c) {
            commands << c;
            return QStringLiteral("+OK\n");
        };
        env.groupStarted = [this](int id, const QString &conf, const QString &type, const QString &from) {
            events << QStringLiteral("started %1 %2 %3 %4").arg(id).arg(conf, type, from);
        };
        env.groupStopped = [this](int id, const QString &conf, const QString &reason, const QString &from) {
            events << QStringLiteral("stopped %1 %2 %3 %4").arg(id).arg(conf, reason, from);
        };
        // A loopback port nobody answers on: the accounts sign in for ever.
        m_switchPort = PaTest::freeUdpPort();
        env.internalIp = [] { return QStringLiteral("127.0.0.1"); };
        env.internalPort = [this] { return m_switchPort; };
        conferences = std::make_unique<FSGroupConferences>(std::move(env));
    }
    void TearDown() override
    {
        conferences.reset();
        PASipManager::destroyInstance();
    }
    PASipManager::Account account(const QString &user)
    {
        PASipManager::Account a;
        PASipManager::instance()->account("127.0.0.1", m_switchPort, user, &a);
        return a;
    }

    int m_switchPort = 0;
    QStringList commands;
    QStringList events;
    std::unique_ptr<FSGroupConferences> conferences;
};

TEST(FSGroupConferencesBuild, RecordFromGroup)
{
    struct Case {
        const char *source;
        const char *loopType;
        const char *startType;
        int prayIndex;
        int command;
        int loopTimesLeft;
        double loopDuration;
        QStringList media;
    } cases[] = {
        {"media", "none", "user", 9, FSConference::CommandStart, 0, 0, {"/m/a.mp3", "/m/b.mp3"}},
        {"MEDIA", "LIST", "user", 9, FSConference::CommandStart, -1, 0, {"/m/a.mp3", "/m/b.mp3"}},
        {"media", "times", "schedule", 9, FSConference::CommandStart, 3, 0, {"/m/a.mp3", "/m/b.mp3"}},
        {"media", "duration", "http", 9, FSConference::CommandStart, -1, 60, {"/m/a.mp3", "/m/b.mp3"}},
        {"media", "shuffle", "api", 9, FSConference::CommandStart, -1, 0, {"/m/a.mp3", "/m/b.mp3"}},
        // A caller is the audio of a group it starts.
        {"media", "list", "call conference", 9, FSConference::CommandNone, -1, 0, {}},
        {"media", "list", "sipTrunk", 9, FSConference::CommandNone, -1, 0, {}},
        {"pray", "list", "pray", 2, FSConference::CommandStart, 0, 0, {"/p/asr.mp3"}},
        {"pray", "list", "pray", 3, FSConference::CommandNone, 0, 0, {}}, // no file in that slot
        {"stream", "list", "user", 9, FSConference::CommandNone, 0, 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.source << "/" << c.loopType << "/" << c.startType);
        RDGroup g = zone(4, "3004", c.source);
        g.mediumLoopType = c.loopType;
        g.mediumLoopTimes = 3;
        g.mediumLoopDuration = 60;
        const FSConference r = FSGroupConferences::buildConference(g, fsGroupStartTypeFromText(c.startType), c.prayIndex);
        EXPECT_EQ(r.command, c.command);
        EXPECT_EQ(r.loopTimesLeft, c.loopTimesLeft);
        EXPECT_EQ(r.loopDuration, c.loopDuration);
        EXPECT_EQ(r.media, c.media);
        ASSERT_EQ(r.members.size(), 3);
        EXPECT_EQ(r.members[0].number, "6007");
        EXPECT_FALSE(r.members[0].speaks);
        EXPECT_EQ(r.members[1].number, "4004");
        EXPECT_TRUE(r.members[1].speaks);
        EXPECT_EQ(r.members[2].number, "5004");
        EXPECT_FALSE(r.members[2].speaks);
        EXPECT_EQ(r.rtpLeg, "");
    }
    RDGroup g = zone(4, "3004");
    g.rtpEnable = 1;
    g.mediaList.clear(); // not rebuilt by the caller: taken from its column
    const FSConference r = FSGroupConferences::buildConference(g, FSGroupStartUser, 9);
    EXPECT_EQ(r.rtpLeg, "rtp3004");
    EXPECT_EQ(r.media, QStringList({"/m/a.mp3", "/m/b.mp3"}));
}

TEST_F(FSGroupConferencesTest, StartSignsAccountsInAndStopSignsThemOutAndHangsUp)
{
    RDGroup g = zone(4, "3004", "stream");
    g.streamUrl = "http://radio.example/live";
    g.httpOutputEnable = 1;
    conferences->startGroup(g, "", "", 9, "HTTP", "web");
    EXPECT_EQ(events, QStringList({"started 4 3004 http web"}));
    ASSERT_TRUE(conferences->waitForCommands(5000));
    EXPECT_EQ(account("4004").sourceUrl, "http://radio.example/live");
    EXPECT_EQ(account("4004").volume, 150);
    EXPECT_EQ(account("4004").password, "in-pw");
    EXPECT_EQ(account("5004").publishPath, "3004");
    EXPECT_EQ(account("5004").sourceUrl, "");
    EXPECT_EQ(conferences->groupStatus().value("3004").startType, "HTTP") << "as passed until the next pass";
    EXPECT_TRUE(commands.isEmpty()) << "the switch hears of it in the pass";

    conferences->updateGroupStatus(1.0e9);
    EXPECT_EQ(conferences->groupStatus().value("3004").startType, "http");
    EXPECT_EQ(conferences->groupStatus().value("3004").started, 1);
    EXPECT_EQ(conferences->groupStatus().value("3004").playPosition, 0.0) << "nothing played yet";
    EXPECT_EQ(conferences->groupStatus().value("3004").prayType, 9);

    conferences->stopGroup(g, "user", "operator");
    ASSERT_TRUE(conferences->waitForCommands(5000));
    EXPECT_EQ(commands, QStringList({"conference 3004 hup all"}));
    EXPECT_EQ(events.last(), "stopped 4 3004 user operator");
    EXPECT_EQ(PASipManager::instance()->accountCount(), 0);
    EXPECT_TRUE(conferences->conferences().isEmpty());
    EXPECT_FALSE(conferences->groupStatus().contains("3004"));
}

TEST_F(FSGroupConferencesTest, CallIntoARunningGroupInterruptsIt)
{
    const RDGroup g = zone(4, "3004");
    conferences->startGroup(g, "", "", 9, "schedule", "timer");
    conferences->startGroup(g, "", "", 9, "user", "operator"); // already running: nothing changes
    ASSERT_EQ(conferences->conferences().size(), 1);
    EXPECT_EQ(conferences->conferences()[0].startType, FSGroupStartSchedule);
    EXPECT_EQ(conferences->groupStatus().value("3004").startType, "user");

    conferences->startGroup(g, "6009", "", 9, "call conference", "");
    const FSConference r = conferences->conferences()[0];
    EXPECT_EQ(r.internalCaller, "6009");
    EXPECT_TRUE(r.interrupted);
    EXPECT_EQ(r.savedVolume, 5);
    EXPECT_EQ(r.volume, -10);
    EXPECT_TRUE(r.volumeChanged);
    EXPECT_EQ(events.size(), 1) << "observers hear of the start once";

    // A second call while the first one still talks, then both gone: the
    // group returns to its own level, not to the silenced one.
    conferences->startGroup(g, "6010", "", 9, "call conference", "");
    EXPECT_EQ(conferences->conferences()[0].savedVolume, 5);
    for (int i = 0; i < 2; ++i)
        conferences->supervise(FSSwitchState({}, {}), 1.0e9 + i);
    EXPECT_EQ(conferences->conferences()[0].volume, 5);
    EXPECT_TRUE(conferences->conferences()[0].internalCaller.isEmpty());
    // Later calls save the level as it is then.
    RDGroup louder = g;
    louder.volume = 8;
    conferences->updateGroupVolume(louder);
    conferences->startGroup(g, "6011", "", 9, "call conference", "");
    EXPECT_EQ(conferences->conferences()[0].savedVolume, 8);
}

TEST_F(FSGroupConferencesTest, OperationsOnGroupsThatDoNotRun)
{
    const RDGroup g = zone(4, "3004");
    EXPECT_FALSE(conferences->changeGroupMedia(g, 1));
    EXPECT_FALSE(conferences->updateGroupVolume(g));
    conferences->stopGroup(g, "user", "operator");
    conferences->stopConference("3004", "media");
    EXPECT_TRUE(commands.isEmpty());
    EXPECT_TRUE(events.isEmpty());

    // Not stored, or no usable conference number: refused, nothing signed in.
    RDGroup unsaved = zone(0, "3005");
    RDGroup badNumber = zone(6, "30 6");
    RDGroup outOfRange = zone(7, "4000");
    for (const RDGroup &bad : {unsaved, badNumber, outOfRange})
        conferences->startGroup(bad, "", "", 9, "user", "operator");
    ASSERT_TRUE(conferences->waitForCommands(5000));
    EXPECT_TRUE(conferences->conferences().isEmpty());
    EXPECT_EQ(PASipManager::instance()->accountCount(), 0);
    EXPECT_TRUE(events.isEmpty());

    conferences->startGroup(g, "", "", 9, "user", "operator");
    EXPECT_TRUE(conferences->changeGroupMedia(g, 7));
    EXPECT_EQ(conferences->conferences()[0].command, FSConference::CommandSwitch);
    RDGroup louder = g;
    louder.volume = 9;
    EXPECT_TRUE(conferences->updateGroupVolume(louder));
    EXPECT_EQ(conferences->conferences()[0].volume, 9);
}

TEST_F(FSGroupConferencesTest, AppTalkStartsAnApiGroupWithoutMedia)
{
    const RDGroup g = zone(4, "3004");
    conferences->startTalkGroup(g, nullptr);
    ASSERT_EQ(conferences->conferences().size(), 1);
    const FSConference r = conferences->conferences()[0];
    EXPECT_EQ(r.startType, FSGroupStartApi);
    EXPECT_EQ(r.appLeg, "4004");
    EXPECT_TRUE(r.media.isEmpty());
    EXPECT_EQ(r.command, FSConference::CommandNone);
    EXPECT_FALSE(r.interrupted);
    EXPECT_EQ(events, QStringList({"started 4 3004 api API"}));
    EXPECT_EQ(conferences->groupStatus().value("3004").startType, "api");
}

TEST_F(FSGroupConferencesTest, UnreadableStateKeepsTheLastDeviceStatus)
{
    FSSipRegistration r;
    r.sip_user = "6007";
    r.status = "Registered(UDP)";
    conferences->updateDeviceStatus(FSSwitchState({}, {r}));
    EXPECT_EQ(conferences->deviceStatus().value("6007"), "online");
    conferences->updateDeviceStatus(FSSwitchState({}, {}, false));
    EXPECT_EQ(conferences->deviceStatus().value("6007"), "online");
    conferences->updateDeviceStatus(FSSwitchState({}, {}));
    EXPECT_TRUE(conferences->deviceStatus().isEmpty());
}

// The pass rebuilds the group states from a copy of the records while
// groups start and stop on other threads: a start or stop that lands while
// the pass builds its map is never undone by that pass's older copy.
TEST_F(FSGroupConferencesTest, GroupStatusFollowsStartsAndStopsWhileThePassRebuildsIt)
{
    std::atomic<bool> done{false};
    std::thread pass([&] {
        while (!done.load())
            conferences->updateGroupStatus(1.0e9);
    });
    const RDGroup g = zone(4, "3004");
    int wrong = 0;
    for (int i = 0; i < 300; ++i) {
        conferences->startGroup(g, "", "", 0, "api", "web");
        wrong += conferences->groupStatus().value("3004").started == 1 ? 0 : 1;
        conferences->stopGroup(g, "user", "web");
        wrong += conferences->groupStatus().contains("3004") ? 1 : 0;
    }
    done = true;
    pass.join();
    EXPECT_EQ(wrong, 0);
}

// A console that records every command and can hold the first one that
// contains `holdOn` until released (5 s at most), as a slow console process
// would.
class SlowConsole
{
public:
    explicit SlowConsole(QString holdOn) : m_holdOn(std::move(holdOn)) {}

    QString execute(const QString &command)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_commands << command;
        if (!m_held && command.contains(m_holdOn)) {
            m_held = true;
            m_changed.notify_all();
            m_changed.wait_for(lock, std::chrono::seconds(5), [this] { return m_released; });
            m_holding = false;
        }
        return QStringLiteral("+OK\n");
    }
    bool waitUntilHolding()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(5), [this] { return m_held; });
    }
    bool holding()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_holding;
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_released = true;
        m_changed.notify_all();
    }
    QStringList commands()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_commands;
    }

private:
    const QString m_holdOn;
    std::mutex m_lock;
    std::condition_variable m_changed;
    QStringList m_commands;
    bool m_held = false;
    bool m_holding = true;
    bool m_released = false;
};

// Conferences whose console commands go to the given console; env may set
// anything else first.
std::unique_ptr<FSGroupConferences> conferencesOn(const std::shared_ptr<SlowConsole> &console,
                                                  FSGroupConferences::Environment env = {})
{
    env.execute = [console](const QString &command) { return console->execute(command); };
    return std::make_unique<FSGroupConferences>(std::move(env));
}

FSSipRegistration registered(const QString &user)
{
    FSSipRegistration r;
    r.sip_user = user;
    r.status = QStringLiteral("Registered(UDP)");
    return r;
}

const QString kDial6007 = QStringLiteral("conference 3004@cdquality++flags{mute|endconf} bgdial user/6007 3004 3004");
const QString kDial4004 =
    QStringLiteral("conference 3004@cdquality++flags{hear|speak|endconf} bgdial user/4004 3004 3004");

// A stop, or a stop and a new start, lands while the supervision pass waits
// on a console command for the same group. The request does not wait on the
// console; the pass sends nothing more for the run that stopped; the hang-up
// reaches the switch after the pass's commands, and is dropped when the group
// runs again by then (it would end the new run's conference).
TEST_F(FSGroupConferencesTest, StopDuringAPassConsoleCommandNeitherWaitsNorReordersCommands)
{
    struct Case {
        bool startAgain;
        QStringList commands;
    };
    const Case cases[] = {
        {false, {kDial6007, "conference 3004 hup all"}},
        {true, {kDial6007}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.startAgain ? "started again" : "stopped");
        // The pass's dials go out side by side: hold exactly one of them.
        auto console = std::make_shared<SlowConsole>(kDial6007);
        auto slow = conferencesOn(console);
        const RDGroup g = zone(4, "3004");
        ASSERT_TRUE(slow->startGroup(g, "", "", 9, "http", "web"));
        const FSSwitchState state({}, {registered("6007"), registered("4004")});

        std::thread pass([&] { slow->supervise(state, 1.0e9); });
        ASSERT_TRUE(console->waitUntilHolding());
        slow->stopGroup(g, "http", "web");
        if (c.startAgain)
            slow->startGroup(g, "", "", 9, "http", "web");
        EXPECT_TRUE(console->holding()) << "the requests waited for the console command";
        console->release();
        pass.join();
        ASSERT_TRUE(slow->waitForCommands(5000));
        // 4004's dial left beside the held one: it reached the console
        // before the stop or was dropped as meant for the ended run; either
        // way before the hang-up.
        QStringList sent = console->commands();
        const int sentFirst = sent.size();
        const int dial4004 = sent.indexOf(kDial4004);
        const int hangUp = sent.indexOf(QStringLiteral("conference 3004 hup all"));
        EXPECT_TRUE(dial4004 < 0 || hangUp < 0 || dial4004 < hangUp) << sent.join(", ").toStdString();
        sent.removeAll(kDial4004);
        EXPECT_EQ(sent, c.commands);
        EXPECT_EQ(slow->conferences().size(), c.startAgain ? 1 : 0);

        if (c.startAgain) {
            // The new run is dialled at once, not 10 s after the old one.
            slow->supervise(state, 1.0e9 + 1);
            QStringList again = console->commands().mid(sentFirst);
            again.sort();
            EXPECT_EQ(again, QStringList({kDial4004, kDial6007}));
        }
    }
}

// A zone of many devices is called by console runs side by side, not one
// run after another: the first run waits (up to 5 s) for a second one to be
// under way, which a pass sending its dials one by one never starts. All
// dials are sent once each, no more at a time than the limit.
TEST_F(FSGroupConferencesTest, DialsOfAPassRunSideBySide)
{
    std::mutex lock;
    std::condition_variable changed;
    int running = 0;
    int mostRunning = 0;
    QStringList sent;
    FSGroupConferences::Environment env;
    env.execute = [&](const QString &command) {
        std::unique_lock<std::mutex> l(lock);
        sent << command;
        mostRunning = std::max(mostRunning, ++running);
        changed.notify_all();
        if (sent.size() == 1)
            changed.wait_for(l, std::chrono::seconds(5), [&] { return mostRunning >= 2; });
        --running;
        return QStringLiteral("+OK\n");
    };
    FSGroupConferences wide(std::move(env));
    RDGroup g = zone(4, "3004");
    QVector<FSSipRegistration> regs{registered("4004")};
    for (int i = 0; i < 20; ++i) {
        RDDevice d;
        d.id = 100 + i;
        d.number = QString::number(6100 + i);
        g.deviceList << d;
        regs << registered(d.number);
    }
    ASSERT_TRUE(wide.startGroup(g, "", "", 9, "http", "web"));
    // The twenty registered devices and the zone's input account.
    EXPECT_EQ(wide.supervise(FSSwitchState({}, regs), 1.0e9), 21);

    std::lock_guard<std::mutex> l(lock);
    EXPECT_GE(mostRunning, 2);
    EXPECT_LE(mostRunning, FSGroupConferences::kConcurrentCommands);
    EXPECT_EQ(sent.size(), 21);
    EXPECT_EQ(sent.filter(" bgdial user/6").size(), 20);
    EXPECT_EQ(sent.removeDuplicates(), 0);
}

// A zone started and stopped many times while the console is busy costs
// one hang-up per stop still waiting, not one per stop; a stop that comes
// after its conference's hang-up went out still gets its own.
TEST_F(FSGroupConferencesTest, StopsWaitingForTheConsoleShareOneHangUp)
{
    auto console = std::make_shared<SlowConsole>(QStringLiteral("conference 3001 hup all"));
    auto busy = conferencesOn(console);
    const RDGroup a = zone(1, "3001");
    const RDGroup b = zone(2, "3002");
    busy->startGroup(a, "", "", 9, "http", "web");
    busy->stopGroup(a, "http", "web");
    ASSERT_TRUE(console->waitUntilHolding()); // the first hang-up is out, held
    for (int i = 0; i < 3; ++i) {
        busy->startGroup(a, "", "", 9, "http", "web");
        busy->stopGroup(a, "http", "web");
    }
    busy->startGroup(b, "", "", 9, "http", "web");
    busy->stopGroup(b, "http", "web");
    console->release();
    ASSERT_TRUE(busy->waitForCommands(5000));
    EXPECT_EQ(console->commands(),
              QStringList({"conference 3001 hup all", "conference 3001 hup all", "conference 3002 hup all"}));
    EXPECT_TRUE(busy->conferences().isEmpty());
}

// A zone stopped and started again in quick turns keeps its calls: its
// hang-up settles first, finds the zone running again and is dropped; a
// supervision pass within the settle time leaves the conference to that
// hang-up. Once the zone stays stopped, one hang-up goes out.
TEST_F(FSGroupConferencesTest, QuickStopStartTurnsKeepTheCallsAndAFinalStopHangsUpOnce)
{
    auto console = std::make_shared<SlowConsole>(QStringLiteral("never held"));
    FSGroupConferences::Environment env;
    // Long enough that the turns below surely fall within it.
    env.hangupSettle = std::chrono::seconds(1);
    auto turns = conferencesOn(console, std::move(env));
    const RDGroup a = zone(1, "3001");
    const QString hangUp = QStringLiteral("conference 3001 hup all");
    // The switch as a pass reads it: a device of the zone talks in 3001.
    FSChannel member;
    member.accountcode = member.dest = member.initial_dest = QStringLiteral("6001");
    member.callstate = QStringLiteral("ACTIVE");
    member.uuid = QStringLiteral("uuid-6001");
    member.application_data = QStringLiteral("3001@cdquality++flags{mute|endconf}");
    const FSSwitchState inConference({member}, {});
    double now = 1.0e9;
    turns->startGroup(a, "", "", 9, "http", "web");
    for (int i = 0; i < 20; ++i) {
        turns->stopGroup(a, "http", "web");
        turns->supervise(inConference, now += 0.5);
        turns->startGroup(a, "", "", 9, "http", "web");
    }
    ASSERT_TRUE(turns->waitForCommands(5000));
    EXPECT_EQ(console->commands().count(hangUp), 0) << console->commands().join(", ").toStdString();

    const auto stopped = std::chrono::steady_clock::now();
    turns->stopGroup(a, "http", "web");
    turns->supervise(inConference, now += 0.5);
    ASSERT_TRUE(turns->waitForCommands(5000));
    EXPECT_GE(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(1));
    EXPECT_EQ(console->commands().count(hangUp), 1);
}

// Starts and stops of one group race the supervision pass: whatever the
// interleaving, the switch hears of the group's hang-up after every dial into
// it, so no member is left in the conference of a stopped group.
TEST_F(FSGroupConferencesTest, HangUpReachesTheSwitchAfterEveryDialUnderConcurrentStartsAndStops)
{
    auto console = std::make_shared<SlowConsole>(QStringLiteral("never held"));
    auto racing = conferencesOn(console);
    const RDGroup g = zone(4, "3004");
    const FSSwitchState state({}, {registered("6007"), registered("4004")});

    std::atomic<bool> done{false};
    std::atomic<int> passes{0};
    std::thread pass([&] {
        double now = 1.0e9;
        while (!done.load()) {
            racing->supervise(state, now += 20.0);
            ++passes;
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int i = 0; i < 200 && std::chrono::steady_clock::now() < deadline; ++i) {
        racing->startGroup(g, "", "", 9, "http", "web");
        // Every other run lives through a whole pass; the rest stop at once.
        const int seen = passes.load();
        while (i % 2 == 0 && passes.load() < seen + 2 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        racing->stopGroup(g, "http", "web");
    }
    done = true;
    pass.join();
    ASSERT_TRUE(racing->waitForCommands(5000));
    EXPECT_TRUE(racing->conferences().isEmpty());

    const QStringList commands = console->commands();
    ASSERT_TRUE(commands.contains(kDial6007)) << "the pass never dialled: the race was not exercised";
    EXPECT_EQ(commands.last(), "conference 3004 hup all");
}

} // namespace

// Shut-down may destroy the SIP manager while HTTP or app-session threads
// still start and stop groups. A call must either find no manager or finish
// on a live one (AddressSanitizer reports a use of a freed manager).
TEST_F(FSGroupConferencesTest, SipManagerDestroyedWhileGroupOperationsRun)
{
    const RDGroup g = zone(1, "3001");
    std::atomic<bool> done{false};
    std::atomic<int> rounds{0};
    std::thread worker([&] {
        while (!done.load()) {
            conferences->startGroup(g, QString(), QString(), 9, "manual", "ui");
            conferences->startListenGroup(g, nullptr);
            conferences->stopGroup(g, "manual", "ui");
            ++rounds;
        }
    });
    // Each round starts and stops a whole SIP agent (sockets, threads).
    for (int i = 0; i < 40; ++i) {
        PASipManager::destroyInstance();
        ASSERT_EQ(PASipManager::instance(), nullptr);
        PASipManager::createInstance("127.0.0.1");
        // Let the worker reach the new manager before it goes again.
        const int seen = rounds.load();
        while (rounds.load() == seen)
            std::this_thread::yield();
    }
    done.store(true);
    worker.join();
    conferences->stopGroup(g, "manual", "ui");
    ASSERT_TRUE(conferences->waitForCommands(5000));
    EXPECT_EQ(PASipManager::instance()->accountCount(), 0);
}

// A SIP agent that is busy (its lock held: a stack thread sending, a call
// being set up) holds up no start or stop: the account changes wait in
// order behind it, and a zone stopped meanwhile ends signed out.
TEST_F(FSGroupConferencesTest, StartAndStopDoNotWaitForABusySipAgent)
{
    const RDGroup a = zone(1, "3001");
    const RDGroup b = zone(2, "3002");
    PASipManager *sip = PASipManager::instance();
    sip->lock();
    auto operations = std::async(std::launch::async, [&] {
        conferences->startGroup(a, "", "", 9, "http", "web");
        conferences->stopGroup(a, "http", "web");
        conferences->startGroup(a, "", "", 9, "http", "web");
        conferences->startGroup(b, "", "", 9, "http", "web");
        conferences->stopGroup(b, "http", "web");
        return conferences->conferences().size();
    });
    const bool prompt = operations.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    sip->unlock();
    EXPECT_TRUE(prompt) << "a start or stop waited for the SIP agent";
    EXPECT_EQ(operations.get(), 1);
    ASSERT_TRUE(conferences->waitForCommands(5000));
    EXPECT_EQ(events, QStringList({"started 1 3001 http web", "stopped 1 3001 http web", "started 1 3001 http web",
                                   "started 2 3002 http web", "stopped 2 3002 http web"}));
    EXPECT_EQ(account("4001").password, "in-pw") << "the zone that runs is signed in";
    EXPECT_EQ(sip->accountCount(), 2) << "the stopped zone is signed out";
    conferences->stopGroup(a, "http", "web");
    ASSERT_TRUE(conferences->waitForCommands(5000));
    EXPECT_EQ(sip->accountCount(), 0);
}

// The pass asks for a stop through the message queue; by the time the queue
// thread carries it out the group may have been stopped and started again.
// The stop belongs to the run the pass judged and must not end the new one.
TEST_F(FSGroupConferencesTest, PassStopMeantForAnEndedRunLeavesTheNextRunAlone)
{
    struct Posted {
        QString conference;
        QString reason;
        quint64 serial;
    };
    QVector<Posted> posted;
    QStringList stops;
    FSGroupConferences::Environment env;
    env.postStopConference = [&posted](const QString &c, const QString &r, quint64 serial) {
        posted.append({c, r, serial});
    };
    env.groupStopped = [&stops](int, const QString &c, const QString &r, const QString &) { stops << c + " " + r; };
    FSGroupConferences own(std::move(env));
    const RDGroup g = zone(4, "3004");

    // A call started the group and its leg is gone: the pass asks for the stop.
    ASSERT_TRUE(own.startGroup(g, "6101", "", 9, "call conference", "switch"));
    const FSSwitchState noCaller({}, {registered("6007"), registered("4004")});
    for (int i = 0; i < 4 && posted.isEmpty(); ++i)
        own.supervise(noCaller, 1.0e9 + i);
    ASSERT_EQ(posted.size(), 1);
    EXPECT_NE(posted[0].serial, 0u);

    own.stopGroup(g, "http", "web");
    ASSERT_TRUE(own.startGroup(g, "", "", 9, "http", "web"));
    own.stopConference(posted[0].conference, posted[0].reason, posted[0].serial);
    ASSERT_EQ(own.conferences().size(), 1);
    EXPECT_EQ(stops, QStringList{"3004 http"});

    // Meant for the run that holds the conference, it ends it.
    own.stopConference("3004", "media", own.conferences().at(0).serial);
    EXPECT_TRUE(own.conferences().isEmpty());
    EXPECT_EQ(stops, QStringList({"3004 http", "3004 media"}));
}

// A switch that ended took the playing item with it: the new switch answers
// "not playing", which must not count as the item's end (a list without
// repeats would end the group). The item plays again once the devices are
// back in the new switch's conference.
TEST_F(FSGroupConferencesTest, ItemPlayingWhenTheSwitchEndedPlaysAgainOnTheNewSwitch)
{
    QString playStatus = QStringLiteral("+OK playing");
    QString playAnswer = QStringLiteral("+OK\n");
    bool answering = true;
    QStringList sent;
    QStringList stops;
    FSGroupConferences::Environment env;
    env.execute = [&](const QString &c) {
        sent << c;
        if (!answering)
            return QString();
        if (c.contains(QLatin1String(" play '")))
            return playAnswer;
        return c.endsWith(QLatin1String(" play_status")) ? playStatus : QStringLiteral("+OK\n");
    };
    env.postStopConference = [&stops](const QString &c, const QString &r, quint64) { stops << c + " " + r; };
    FSGroupConferences own(std::move(env));
    RDGroup g = zone(4, "3004");
    g.mediumLoopType = QStringLiteral("none");
    ASSERT_TRUE(own.startGroup(g, "", "", 9, "user", "web"));

    FSChannel joined;
    joined.accountcode = joined.dest = joined.initial_dest = QStringLiteral("6007");
    joined.callstate = QStringLiteral("ACTIVE");
    joined.uuid = QStringLiteral("uuid-6007");
    joined.application_data = QStringLiteral("3004@cdquality++flags{mute|endconf}");
    const FSSwitchState inConference({joined}, {registered("6007"), registered("4004")});
    double now = 1.0e9;
    own.supervise(inConference, now);
    ASSERT_EQ(sent.filter(QStringLiteral("3004 play ")).size(), 1) << sent.join('\n').toStdString();
    own.supervise(inConference, now += 0.5);
    ASSERT_EQ(own.conferences().at(0).command, FSConference::CommandPlaying);

    // The switch is killed. Passes still working from the old switch's
    // state play the item into the void: nobody answers, then the new switch
    // has no such conference yet. Neither play counts for the item.
    own.switchEnded();
    answering = false;
    own.supervise(inConference, now += 0.5);
    answering = true;
    playAnswer = QStringLiteral("-ERR Conference 3004 not found\n");
    own.supervise(inConference, now += 0.5);
    EXPECT_TRUE(stops.isEmpty()) << stops.join('\n').toStdString();
    // The new switch runs; its devices are not back yet.
    playAnswer = QStringLiteral("+OK\n");
    playStatus = QStringLiteral("-ERR not playing");
    sent.clear();
    own.supervise(FSSwitchState({}, {registered("6007"), registered("4004")}), now += 0.5);
    EXPECT_TRUE(stops.isEmpty()) << stops.join('\n').toStdString();
    EXPECT_TRUE(sent.filter(QStringLiteral("3004 play ")).isEmpty());

    // Back in the conference: the same item plays again, the group runs on.
    own.supervise(inConference, now += 0.5);
    EXPECT_EQ(sent.filter(QStringLiteral("3004 play ")).size(), 1) << sent.join('\n').toStdString();
    EXPECT_EQ(own.conferences().at(0).mediaPosition, 0);
    EXPECT_TRUE(stops.isEmpty()) << stops.join('\n').toStdString();
}

// An observer that takes its time (the central object reads the zone and
// tells every app) holds up no other group operation: starts of running
// groups, stops of idle ones, volume changes and the pass's copy go on.
TEST_F(FSGroupConferencesTest, ObserversAreToldWithoutTheConferenceLock)
{
    std::mutex lock;
    std::condition_variable changed;
    bool inside = false;
    bool release = false;
    FSGroupConferences::Environment env;
    QStringList told;
    env.groupStarted = [&](int id, const QString &, const QString &, const QString &) {
        std::unique_lock<std::mutex> l(lock);
        told << QStringLiteral("started %1").arg(id);
        changed.notify_all();
        if (id != 1)
            return;
        inside = true;
        changed.notify_all();
        changed.wait_for(l, std::chrono::seconds(10), [&] { return release; });
    };
    FSGroupConferences own(std::move(env));
    std::thread starter([&] { own.startGroup(zone(1, "3001"), "", "", 9, "http", "web"); });
    bool observing = false;
    {
        std::unique_lock<std::mutex> l(lock);
        observing = changed.wait_for(l, std::chrono::seconds(5), [&] { return inside; });
    }
    auto others = std::async(std::launch::async, [&own] {
        const bool startedAgain = own.startGroup(zone(1, "3001"), "", "", 9, "http", "web");
        own.stopGroup(zone(2, "3002"), "http", "web");
        own.updateGroupVolume(zone(1, "3001"));
        // A change whose notice queues behind the slow one: handed over to
        // the thread telling the observers, not waited for.
        const bool started = own.startGroup(zone(3, "3003"), "", "", 9, "http", "web");
        return !startedAgain && started && own.conferences().size() == 2;
    });
    const bool prompt = others.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    {
        std::lock_guard<std::mutex> l(lock);
        release = true;
    }
    changed.notify_all();
    starter.join();
    ASSERT_TRUE(observing);
    EXPECT_TRUE(prompt) << "a group operation waited for the observer of another change";
    EXPECT_TRUE(others.get());
    // The starter returned once its own notice was out; the one handed over
    // to it goes out on the notice queue's thread.
    std::unique_lock<std::mutex> l(lock);
    changed.wait_for(l, std::chrono::seconds(5), [&] { return told.size() >= 2; });
    EXPECT_EQ(told, QStringList({"started 1", "started 3"})) << "the handed-over notice went out, in order";
}

// Starts and stops of one group from many threads at once reach the
// observers in the order the records changed: a start, then its stop, never
// two of a kind in a row. An observer may call back into the group
// operations without a deadlock.
TEST_F(FSGroupConferencesTest, StartsAndStopsFromManyThreadsReachObserversInTheirOrder)
{
    std::mutex lock;
    QStringList seen;
    FSGroupConferences *self = nullptr;
    FSGroupConferences::Environment env;
    env.groupStarted = [&](int id, const QString &, const QString &, const QString &) {
        // The records, looked at from inside a notice (the screens do).
        const int running = self->conferences().size();
        {
            std::lock_guard<std::mutex> l(lock);
            seen << QStringLiteral("started %1").arg(id);
        }
        // A change made from inside a notice.
        if (id == 2 && running == 1)
            self->stopGroup(zone(2, "3002"), "nested", "web");
    };
    env.groupStopped = [&](int id, const QString &, const QString &, const QString &) {
        std::lock_guard<std::mutex> l(lock);
        seen << QStringLiteral("stopped %1").arg(id);
    };
    FSGroupConferences own(std::move(env));
    self = &own;

    // Told after the notice it was made in, before the start returns.
    own.startGroup(zone(2, "3002"), "", "", 9, "http", "web");
    EXPECT_TRUE(own.conferences().isEmpty());
    {
        std::lock_guard<std::mutex> l(lock);
        EXPECT_EQ(seen, QStringList({"started 2", "stopped 2"}));
        seen.clear();
    }

    constexpr int threads = 6;
    constexpr int rounds = 150;
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&own, &finished] {
            const RDGroup g = zone(1, "3001");
            for (int r = 0; r < rounds; ++r) {
                own.startGroup(g, "", "", 9, "http", "web");
                own.stopGroup(g, "http", "web");
            }
            ++finished;
        });
    }
    if (!PaTest::waitUntil([&] { return finished.load() == threads; }, 30000)) {
        std::fprintf(stderr, "group operations deadlocked\n");
        std::_Exit(1);
    }
    for (std::thread &w : workers)
        w.join();

    std::lock_guard<std::mutex> l(lock);
    ASSERT_FALSE(seen.isEmpty());
    for (int i = 0; i < seen.size(); ++i) {
        ASSERT_EQ(seen[i], i % 2 == 0 ? QStringLiteral("started 1") : QStringLiteral("stopped 1")) << "notice " << i;
    }
    EXPECT_EQ(seen.size() % 2, own.conferences().size());
}
