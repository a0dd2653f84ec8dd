#include "RDConfigure.h"
#include "TestSupport.h"
#include "VDB.h"
#include "VelmarDB.h"
#include "VelmarRunRecord.h"
#include "VelmarScheduleThread.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

namespace {

struct Op
{
    const char *time;
    const char *action;
};

RDGroup scheduledGroup(int id, const char *type, const char *value, const char *once, std::initializer_list<Op> ops)
{
    RDGroup group;
    group.id = id;
    group.conference = QString::number(3000 + id);
    group.source = QStringLiteral("media");
    group.scheduleEnable = 1;
    group.scheduleRepeatType = QLatin1String(type);
    group.scheduleRepeatValue = QLatin1String(value);
    group.scheduleTime = QLatin1String(once);
    QVector<RDGroupScheduleOperation> list;
    for (const Op &op : ops)
        list.append({QLatin1String(op.time), QLatin1String(op.action)});
    group.setScheduleOperations(list);
    group.updateScheduleOperations();
    return group;
}

QDateTime at(const char *text)
{
    return QDateTime::fromString(QLatin1String(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Records what a schedule thread did, as "start 3001" / "stop 3001".
struct Recorder
{
    VelmarScheduleThread::Actions actions()
    {
        return {[this](const RDGroup &g) { add(QStringLiteral("start ") + g.conference); },
                [this](const RDGroup &g) { add(QStringLiteral("stop ") + g.conference); }};
    }
    void add(const QString &event)
    {
        QMutexLocker locker(&lock);
        events.append(event);
    }
    QStringList taken()
    {
        QMutexLocker locker(&lock);
        return events;
    }
    QMutex lock;
    QStringList events;
};

struct Pass
{
    const char *time;
    qint64 steadyMs;
};

struct ScheduleCase
{
    const char *what;
    RDGroup group;
    std::vector<Pass> passes;
    QStringList expected;
};

} // namespace

TEST(VelmarScheduleThread, OperationsRunOnTheirDaysOnceAndInOrder)
{
    const QString s1 = QStringLiteral("start 3001");
    const QString p1 = QStringLiteral("stop 3001");
    const ScheduleCase cases[] = {
        {"daily start and stop in one minute: both, in list order, once",
         scheduledGroup(1, "daily", "", "", {{"10:00", "start"}, {"10:00", "stop"}}),
         {{"2024-06-03 09:59:58", 0}, {"2024-06-03 10:00:03", 5000}, {"2024-06-03 10:00:08", 10000},
          {"2024-06-03 10:00:13", 15000}},
         {s1, p1}},
        {"daily runs again the next day",
         scheduledGroup(1, "Daily", "", "", {{"10:00", "start"}}),
         {{"2024-06-03 10:00:03", 0}, {"2024-06-04 10:00:03", 86400000}},
         {s1, s1}},
        {"weekly 0;6 runs on Saturday and Sunday only",
         scheduledGroup(1, "weekly", "0;6", "", {{"08:00", "start"}}),
         {{"2024-06-01 08:00:02", 0}, {"2024-06-02 08:00:02", 86400000}, {"2024-06-03 08:00:02", 172800000}},
         {s1, s1}},
        {"weekly 7 matches no day",
         scheduledGroup(1, "weekly", "7", "", {{"08:00", "start"}}),
         {{"2024-06-02 08:00:02", 0}, {"2024-06-08 08:00:02", 86400000}},
         {}},
        {"monthly 31 skips a 30-day month and runs on the 31st of the next",
         scheduledGroup(1, "monthly", "31", "", {{"08:00", "start"}}),
         {{"2024-06-30 08:00:02", 0}, {"2024-07-01 08:00:02", 86400000}, {"2024-07-31 08:00:02", 172800000}},
         {s1}},
        {"monthly with empty pieces around 15",
         scheduledGroup(1, "monthly", ";15;", "", {{"08:00", "stop"}}),
         {{"2024-06-15 08:00:02", 0}},
         {p1}},
        {"once-only dated in the past never runs",
         scheduledGroup(1, "onceonly", "", "20240101", {{"08:00", "start"}}),
         {{"2024-06-03 08:00:02", 0}},
         {}},
        {"once-only dated today runs once, even on the same minute of a later pass",
         scheduledGroup(1, "onceonly", "", "20240603", {{"08:00", "start"}}),
         {{"2024-06-03 08:00:02", 0}, {"2024-06-03 08:00:07", 5000}},
         {s1}},
        {"once-only date that does not read never runs",
         scheduledGroup(1, "onceonly", "", "20241345", {{"08:00", "start"}}),
         {{"2024-06-03 08:00:02", 0}, {"2024-12-13 08:00:02", 86400000}},
         {}},
        {"unknown repeat type and unreadable times do nothing",
         scheduledGroup(1, "yearly", "", "", {{"08:00", "start"}}),
         {{"2024-06-03 08:00:02", 0}},
         {}},
        {"action with a capital starts; an unknown action does nothing",
         scheduledGroup(1, "daily", "", "", {{"08:00", "pause"}, {"08:00", "Start"}, {"8:0", "stop"}}),
         {{"2024-06-03 08:00:02", 0}, {"2024-06-03 08:00:07", 5000}},
         {s1}},
        {"a late pass runs the minute no pass saw, once",
         scheduledGroup(1, "daily", "", "", {{"10:01", "start"}}),
         {{"2024-06-03 10:00:55", 0}, {"2024-06-03 10:02:05", 70000}, {"2024-06-03 10:02:10", 75000}},
         {s1}},
        {"the hour skipped when daylight saving starts still runs",
         scheduledGroup(1, "daily", "", "", {{"02:30", "start"}}),
         {{"2024-03-31 01:59:58", 0}, {"2024-03-31 03:00:03", 5000}, {"2024-03-31 03:00:08", 10000}},
         {s1}},
        {"the hour repeated when daylight saving ends runs once",
         scheduledGroup(1, "daily", "", "", {{"02:30", "start"}}),
         {{"2024-10-27 02:30:01", 0}, {"2024-10-27 02:59:58", 1797000}, {"2024-10-27 02:00:03", 1802000},
          {"2024-10-27 02:29:58", 3597000}, {"2024-10-27 02:30:03", 3602000}},
         {s1}},
        {"a clock set back across midnight replays nothing",
         scheduledGroup(1, "daily", "", "", {{"23:59", "stop"}, {"00:00", "start"}}),
         {{"2024-06-03 23:59:02", 0}, {"2024-06-04 00:00:03", 61000}, {"2024-06-03 23:59:30", 66000},
          {"2024-06-04 00:00:10", 71000}},
         {p1, s1}},
        {"a pass across midnight runs both sides on their own days",
         scheduledGroup(1, "weekly", "0", "", {{"23:59", "start"}, {"00:00", "stop"}}),
         {{"2024-06-01 23:58:59", 0}, {"2024-06-02 00:00:04", 65000}},
         {p1}},
        {"a forward clock jump runs what it skipped in order",
         scheduledGroup(1, "daily", "", "", {{"11:00", "stop"}, {"10:30", "start"}}),
         {{"2024-06-03 10:00:03", 0}, {"2024-06-03 12:00:03", 5000}},
         {s1, p1}},
        {"after a long real pause only the current minute counts",
         scheduledGroup(1, "daily", "", "", {{"10:15", "start"}, {"10:30", "stop"}}),
         {{"2024-06-03 10:00:03", 0}, {"2024-06-03 10:30:03", 1800000}},
         {p1}},
    };
    for (const ScheduleCase &c : cases) {
        auto record = std::make_shared<VelmarRunRecord>();
        VelmarScheduleThread thread(record);
        Recorder recorder;
        thread.setActions(recorder.actions());
        for (const Pass &pass : c.passes) {
            ASSERT_TRUE(at(pass.time).isValid()) << c.what << ": " << pass.time;
            thread.runPass({c.group}, at(pass.time), pass.steadyMs);
        }
        EXPECT_EQ(recorder.taken(), c.expected) << c.what;
    }
}

TEST(VelmarScheduleThread, ZonesInDatabaseOrderAndOnlyWithTheScheduleOn)
{
    auto record = std::make_shared<VelmarRunRecord>();
    VelmarScheduleThread thread(record);
    Recorder recorder;
    thread.setActions(recorder.actions());
    RDGroup off = scheduledGroup(3, "daily", "", "", {{"09:00", "start"}});
    off.scheduleEnable = 0;
    thread.runPass({scheduledGroup(2, "daily", "", "", {{"09:00", "start"}}), off,
                    scheduledGroup(1, "daily", "", "", {{"09:00", "start"}})},
                   at("2024-06-03 09:00:01"), 0);
    EXPECT_EQ(recorder.taken(), (QStringList{QStringLiteral("start 3002"), QStringLiteral("start 3001")}));
}

TEST(VelmarScheduleThread, RestartOrEditWithinTheMinuteNeverReplaysAndAChangedTimeRunsAnew)
{
    auto record = std::make_shared<VelmarRunRecord>();
    Recorder recorder;
    RDGroup group = scheduledGroup(1, "onceonly", "", "20240603", {{"08:00", "start"}, {"08:00", "stop"}});
    RDGroup daily = scheduledGroup(2, "daily", "", "", {{"08:00", "start"}});
    {
        VelmarScheduleThread first(record);
        first.setActions(recorder.actions());
        first.runPass({group, daily}, at("2024-06-03 08:00:02"), 0);
    }
    ASSERT_EQ(recorder.taken().size(), 3);

    // The services restart (a new thread) and the operator renames the zones.
    group.name = QStringLiteral("renamed");
    daily.name = QStringLiteral("renamed");
    record->groupUpdated(group);
    record->groupUpdated(daily);
    VelmarScheduleThread second(record);
    second.setActions(recorder.actions());
    second.runPass({group, daily}, at("2024-06-03 08:00:30"), 0);
    EXPECT_EQ(recorder.taken().size(), 3);

    // A moved operation is another operation: it runs at its new minute and
    // the old one's record goes.
    daily = scheduledGroup(2, "daily", "", "", {{"08:01", "start"}});
    record->groupUpdated(daily);
    EXPECT_EQ(record->size(), 2);
    second.runPass({group, daily}, at("2024-06-03 08:01:01"), 31000);
    EXPECT_EQ(recorder.taken().size(), 4);
    EXPECT_EQ(recorder.taken().last(), QStringLiteral("start 3002"));

    record->groupRemoved(1);
    EXPECT_EQ(record->size(), 1);
}

TEST(VelmarScheduleThread, ThreadReadsZonesFromTheDatabaseOnItsClockAndStopsAtOnce)
{
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    const QString oldDir = VDB::dataDir();
    VDB::setDataDir(data.path());
    {
        VelmarDB db(true);
        db.checkUpgrade();
        RDGroup group = scheduledGroup(0, "daily", "", "", {{"07:30", "start"}});
        group.name = QStringLiteral("Hall");
        group.conference = QStringLiteral("3100");
        VelmarDB::fillSipNumbers(group);
        ASSERT_GT(db.insertGroup(group), 0);
    }
    auto record = std::make_shared<VelmarRunRecord>();
    auto *thread = new VelmarScheduleThread(record);
    Recorder recorder;
    thread->setActions(recorder.actions());
    std::atomic<int> passes{0};
    thread->setClock({[&passes] {
                          ++passes;
                          return at("2024-06-03 07:30:04");
                      },
                      [&passes] { return qint64(passes.load()) * 5000; }});
    thread->setPeriodMs(20);
    thread->start();
    EXPECT_TRUE(PaTest::waitUntil([&] { return passes.load() >= 5; }, 5000));
    EXPECT_EQ(recorder.taken(), QStringList{QStringLiteral("start 3100")});

    // A stop ends the pause between passes at once, whatever its length.
    // The new period applies from the next pause on: once the passes have
    // stopped coming the thread sits in the long one.
    thread->setPeriodMs(60000);
    int last = -1;
    EXPECT_TRUE(PaTest::waitUntil(
        [&] {
            const int now = passes.load();
            const bool settled = now == last;
            last = now;
            QThread::msleep(100);
            return settled;
        },
        5000));
    QElapsedTimer stopping;
    stopping.start();
    thread->stop();
    thread->wait();
    EXPECT_LT(stopping.elapsed(), 1000);
    delete thread;
    VDB::setDataDir(oldDir);
}
