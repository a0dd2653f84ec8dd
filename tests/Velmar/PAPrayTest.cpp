#include "FakePrayService.h"
#include "PAPrayCalendar.h"
#include "PAPrayMethod.h"
#include "PAPrayWatchThread.h"
#include "TestSupport.h"
#include "Velmar.h"
#include "VelmarRunRecord.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

namespace {

QDateTime at(const char *text)
{
    return QDateTime::fromString(QLatin1String(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

RDGroup prayGroup(int id, const QString &location, std::initializer_list<int> filesAt)
{
    RDGroup group;
    group.id = id;
    group.conference = QString::number(3000 + id);
    group.source = QStringLiteral("pray");
    group.prayLocation = location;
    group.prayMethod = 5;
    group.praySchool = 0;
    group.prayLatitudeAdjustmentMethod = 3;
    QVector<QString> files(9);
    for (int i : filesAt)
        files[i] = QStringLiteral("prayer%1.mp3").arg(i);
    group.setPrayFiles(files);
    group.updatePrayFiles();
    return group;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Prayer folder and service address of one test, restored afterwards.
class PrayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        // A folder whose path holds place-marker look-alikes.
        m_prayDir = m_dir.path() + QStringLiteral("/pray%1%3");
        Velmar::setPrayDir(m_prayDir);
        PAPrayCalendar::setRequestTimeoutMs(3000);
    }
    void TearDown() override
    {
        Velmar::setPrayDir(QString());
        PAPrayCalendar::setServiceUrl(QString());
        PAPrayCalendar::setRequestTimeoutMs(0);
    }

    // A watcher that records the prayer indexes it starts, as "3001:2".
    std::unique_ptr<PAPrayWatchThread> watcher()
    {
        auto thread = std::make_unique<PAPrayWatchThread>(m_record);
        thread->setStartAction([this](const RDGroup &group, int index) {
            QMutexLocker locker(&m_lock);
            m_starts.append(QStringLiteral("%1:%2").arg(group.conference).arg(index));
        });
        return thread;
    }
    QStringList starts()
    {
        QMutexLocker locker(&m_lock);
        return m_starts;
    }

    QTemporaryDir m_dir;
    QString m_prayDir;
    std::shared_ptr<VelmarRunRecord> m_record = std::make_shared<VelmarRunRecord>();
    QMutex m_lock;
    QStringList m_starts;
};

} // namespace

TEST(PrayModel, MethodTableAndTimeText)
{
    const QVector<PAPrayMethod> methods = PAPrayMethod::methods();
    ASSERT_EQ(methods.size(), 15);
    EXPECT_EQ(methods[0].code, QStringLiteral("JAFARI"));
    EXPECT_EQ(methods[6].id, 7);
    EXPECT_EQ(methods[6].description, QStringLiteral("Institute of Geophysics, University of Tehran"));
    EXPECT_EQ(methods[14].id, 15);
    EXPECT_EQ(methods[14].code, QStringLiteral("MOONSIGHTING"));
    for (const PAPrayMethod &m : methods)
        EXPECT_NE(m.id, 6);
    PAPrayTime time;
    time.hour = 4;
    time.minute = 7;
    EXPECT_EQ(time.toString(), QStringLiteral("04:07"));
}

TEST_F(PrayTest, QueryAndCacheNameCarryAddressSettingsAndMonth)
{
    PAPrayCalendar::setServiceUrl(QStringLiteral("http://127.0.0.1:1/"));
    EXPECT_EQ(prayCalendarUrl(QStringLiteral("Cairo, Egypt"), 15, 1, 3, 2024, 12),
              QStringLiteral("http://127.0.0.1:1/v1/calendarByAddress?address=Cairo%2C%20Egypt&method=15&school=1"
                             "&latitudeAdjustmentMethod=3&month=12&year=2024"));
    EXPECT_EQ(prayCalendarUrl(QStringLiteral("Z\u00fcrich/~a_b.c-d"), 3, 0, 3, 2025, 5),
              QStringLiteral("http://127.0.0.1:1/v1/calendarByAddress?address=Z%C3%BCrich%2F~a_b.c-d&method=3"
                             "&school=0&latitudeAdjustmentMethod=3&month=5&year=2025"));

    const QString md5 = QString::fromLatin1(
        QCryptographicHash::hash(QByteArray("Cairo, Egypt"), QCryptographicHash::Md5).toHex());
    EXPECT_EQ(QFileInfo(Velmar::prayCacheFile(QStringLiteral("Cairo, Egypt"), 15, 1, 3, 2024, 12)).fileName(),
              md5 + QStringLiteral("151320241" "2"));
    // An address never names a path: the file stays in the prayer folder.
    for (const char *address : {"../../etc/passwd", "a/b", "..", "/tmp/x", ""}) {
        const QFileInfo file(Velmar::prayCacheFile(QString::fromUtf8(address), 3, 0, 3, 2025, 5));
        EXPECT_EQ(file.absolutePath(), QDir(m_prayDir).absolutePath()) << address;
        EXPECT_EQ(file.fileName(), QString(file.fileName().left(32) + QStringLiteral("30320255"))) << address;
        EXPECT_EQ(file.fileName().left(32).count(QRegularExpression(QStringLiteral("[0-9a-f]"))), 32) << address;
    }
}

TEST(PrayModel, AnswerReading)
{
    const QByteArray answer = R"json({"data":[
        {"timings":{"Fajr":"04:31 (EET)","Sunrise":"06:02","Dhuhr":"0431","Asr":"25:10","Sunset":"17:60",
                    "Maghrib":17,"Isha":"xx:yy","Imsak":"4:5 (+03) extra"},
         "date":{"gregorian":{"year":"2024","month":{"number":5},"day":"07"}},
         "meta":{"latitude":30.5,"longitude":31.25,"timezone":"Africa/Cairo"}},
        3,
        {"date":{"gregorian":{"year":"2024","month":{"number":2},"day":"30"}},"meta":{"latitude":"north"}}
    ]})json";
    const QVector<PAPrayDay> days = parsePrayDays(answer);
    ASSERT_EQ(days.size(), 3);
    const PAPrayDay &day = days[0];
    EXPECT_EQ(day.date, QDate(2024, 5, 7));
    EXPECT_DOUBLE_EQ(day.latitude, 30.5);
    EXPECT_DOUBLE_EQ(day.longitude, 31.25);
    EXPECT_EQ(day.timeZone, QStringLiteral("Africa/Cairo"));
    EXPECT_EQ(day.times[0].name, QStringLiteral("Fajr"));
    EXPECT_EQ(day.times[0].toString(), QStringLiteral("04:31"));
    EXPECT_EQ(day.times[0].suffix, QStringLiteral("(EET)"));
    EXPECT_EQ(day.times[1].toString(), QStringLiteral("06:02"));
    EXPECT_TRUE(day.times[1].suffix.isEmpty());
    EXPECT_EQ(day.times[7].toString(), QStringLiteral("04:05"));
    EXPECT_EQ(day.times[7].suffix, QStringLiteral("(+03)"));
    // No colon, out of range, not a string, unreadable, missing: never fires.
    for (int i : {2, 3, 4, 5, 6, 8}) {
        EXPECT_FALSE(day.times[i].isGiven()) << i;
        EXPECT_EQ(day.times[i].hour, 0) << i;
        EXPECT_EQ(day.times[i].minute, 0) << i;
    }
    EXPECT_FALSE(days[1].isValid());
    EXPECT_FALSE(days[2].isValid());
    EXPECT_DOUBLE_EQ(days[2].latitude, 0);

    for (const char *bad : {"", "not json", "[1,2]", R"({"code":400,"data":"Unable to geocode"})",
                            R"({"data":[{"timings":{"Fajr":"04:3)"}) {
        EXPECT_TRUE(parsePrayDays(QByteArray(bad)).isEmpty()) << bad;
    }
}

TEST_F(PrayTest, MonthLookupFetchesOnceCachesTheAnswerAndRefetchesABrokenFile)
{
    FakePrayService service([](const QString &) {
        return FakePrayService::Reply{200, FakePrayService::monthAnswer(2024, 6, 30)};
    });
    PAPrayCalendar::setServiceUrl(service.url());
    const RDGroup group = prayGroup(1, QStringLiteral("Cairo, Egypt"), {2});
    auto thread = watcher();

    const PAPrayDay last = thread->getPrayDay(group, 2024, 6, 30);
    EXPECT_EQ(last.date, QDate(2024, 6, 30));
    EXPECT_EQ(last.times[2].toString(), QStringLiteral("11:47"));
    EXPECT_FALSE(thread->getPrayDay(group, 2024, 6, 31).isValid());
    ASSERT_EQ(service.requestCount(), 1);
    EXPECT_TRUE(service.targets().first().startsWith(
        QStringLiteral("/v1/calendarByAddress?address=Cairo%2C%20Egypt&method=5&school=0"
                       "&latitudeAdjustmentMethod=3&month=6&year=2024")));
    const QString file = Velmar::prayCacheFile(group.prayLocation, 5, 0, 3, 2024, 6);
    EXPECT_EQ(readAll(file), FakePrayService::monthAnswer(2024, 6, 30));

    // A truncated file and one that is not JSON are ignored and fetched again.
    for (const QByteArray &broken : {FakePrayService::monthAnswer(2024, 6, 30).left(200), QByteArray("<html>")}) {
        const int before = service.requestCount();
        ASSERT_TRUE(writeAll(file, broken));
        auto fresh = watcher();
        EXPECT_TRUE(fresh->getPrayDay(group, 2024, 6, 15).isValid());
        EXPECT_EQ(service.requestCount(), before + 1);
        EXPECT_EQ(readAll(file), FakePrayService::monthAnswer(2024, 6, 30));
    }
    // The screens read the cache alone: a month never fetched is empty.
    EXPECT_EQ(Velmar::getPrayDay(group.prayLocation, 5, 0, 3, 2024, 6, 30).times[2].toString(),
              QStringLiteral("11:47"));
    EXPECT_FALSE(Velmar::getPrayDay(group.prayLocation, 5, 0, 3, 2024, 7, 1).isValid());
    EXPECT_FALSE(Velmar::getPrayDay(QString(), 5, 0, 3, 2024, 6, 30).isValid());
    // No location, no request.
    EXPECT_FALSE(thread->getPrayDay(prayGroup(2, QString(), {2}), 2024, 6, 1).isValid());
    EXPECT_EQ(service.requestCount(), 3);
}

TEST_F(PrayTest, DhuhrStartsItsFileOnceAndSharedMinutesStartOnePerPass)
{
    FakePrayService service([](const QString &) {
        return FakePrayService::Reply{200, FakePrayService::monthAnswer(2024, 6, 30)};
    });
    PAPrayCalendar::setServiceUrl(service.url());
    auto thread = watcher();
    const RDGroup dhuhrOnly = prayGroup(1, QStringLiteral("Cairo"), {2});
    const RDGroup three = prayGroup(2, QStringLiteral("Cairo"), {0, 4, 5});
    qint64 steady = 0;
    for (const char *time : {"2024-06-03 04:30:59", "2024-06-03 04:31:01", "2024-06-03 04:31:03",
                             "2024-06-03 11:46:58", "2024-06-03 11:47:01", "2024-06-03 11:47:03",
                             "2024-06-03 11:48:00", "2024-06-03 17:31:01", "2024-06-03 17:31:03",
                             "2024-06-03 17:31:05"}) {
        thread->runPass({dhuhrOnly, three}, at(time), steady);
        steady += 2000;
    }
    EXPECT_EQ(starts(), (QStringList{"3002:0", "3001:2", "3002:4", "3002:5"}));
    EXPECT_EQ(service.requestCount(), 1);

    // A restart of the services within the minute replays nothing.
    auto again = watcher();
    again->runPass({dhuhrOnly, three}, at("2024-06-03 17:31:30"), 0);
    again->runPass({dhuhrOnly, three}, at("2024-06-03 11:47:30"), 2000);
    EXPECT_EQ(starts().size(), 4);
}

TEST_F(PrayTest, NightPrayersAfterMidnightComeFromThePreviousDaysRow)
{
    FakePrayService service([](const QString &target) {
        const bool june = target.contains(QStringLiteral("month=6&"));
        return FakePrayService::Reply{
            200, FakePrayService::monthAnswer(2024, june ? 6 : 7, june ? 30 : 31, QStringLiteral("11:47"),
                                              QStringLiteral("23:30"), QStringLiteral("00:20 (+03)"))};
    });
    PAPrayCalendar::setServiceUrl(service.url());
    auto thread = watcher();
    const RDGroup group = prayGroup(1, QStringLiteral("Tromso"), {6, 8});
    qint64 steady = 0;
    // Across a month's end: Isha of the 30th, then its Midnight on the 1st.
    for (const char *time : {"2024-06-30 00:20:01", "2024-06-30 23:30:01", "2024-06-30 23:59:58",
                             "2024-07-01 00:00:02", "2024-07-01 00:20:01", "2024-07-01 00:20:03"}) {
        thread->runPass({group}, at(time), steady);
        steady += 2000;
    }
    EXPECT_EQ(starts(), (QStringList{"3001:8", "3001:6", "3001:8"}));
    EXPECT_EQ(service.requestCount(), 2);
}

TEST_F(PrayTest, UnreachableServiceNeitherDelaysCachedZonesNorIsAskedEveryPass)
{
    std::atomic<bool> hang{true};
    FakePrayService service([&hang](const QString &) {
        FakePrayService::Reply reply;
        reply.hang = hang.load();
        reply.status = 400;
        reply.body = R"({"code":400,"status":"BAD_REQUEST","data":"Unable to geocode address."})";
        return reply;
    });
    PAPrayCalendar::setServiceUrl(service.url());
    PAPrayCalendar::setRequestTimeoutMs(500);
    const RDGroup unknown = prayGroup(1, QStringLiteral("Nowhere"), {2});
    const RDGroup cached = prayGroup(2, QStringLiteral("Cairo"), {2});
    ASSERT_TRUE(writeAll(Velmar::prayCacheFile(QStringLiteral("Cairo"), 5, 0, 3, 2024, 6),
                         FakePrayService::monthAnswer(2024, 6, 30)));
    auto thread = watcher();
    int requestsAtStart = -1;
    thread->setStartAction([&](const RDGroup &group, int index) {
        requestsAtStart = service.requestCount();
        QMutexLocker locker(&m_lock);
        m_starts.append(QStringLiteral("%1:%2").arg(group.conference).arg(index));
    });
    QElapsedTimer timer;
    timer.start();
    thread->runPass({unknown, cached}, at("2024-06-03 11:47:01"), 0);
    EXPECT_EQ(starts(), QStringList{"3002:2"});
    EXPECT_EQ(requestsAtStart, 0);
    EXPECT_EQ(service.requestCount(), 1);
    EXPECT_LT(timer.elapsed(), 3000);

    // Rejected: asked again after 1 min, then after 2 more; 2 minutes of
    // passes every 2 s make 2 requests.
    hang.store(false);
    for (qint64 steady = 2000; steady <= 120000; steady += 2000)
        thread->runPass({unknown, cached}, at("2024-06-03 12:00:00").addMSecs(steady), steady);
    EXPECT_EQ(service.requestCount(), 2);
    EXPECT_EQ(starts().size(), 1);
}

TEST_F(PrayTest, ServiceDownKeepsTheLastGoodTimetable)
{
    std::atomic<bool> down{false};
    FakePrayService service([&down](const QString &) {
        return down.load() ? FakePrayService::Reply{503, "busy"}
                           : FakePrayService::Reply{200, FakePrayService::monthAnswer(2024, 6, 30)};
    });
    PAPrayCalendar::setServiceUrl(service.url());
    const RDGroup group = prayGroup(1, QStringLiteral("Cairo"), {0, 2});
    auto thread = watcher();
    thread->runPass({group}, at("2024-06-03 04:31:01"), 0);
    ASSERT_EQ(starts(), QStringList{"3001:0"});

    // The cache file breaks and the service goes down: the prayers go on.
    down.store(true);
    ASSERT_TRUE(writeAll(Velmar::prayCacheFile(QStringLiteral("Cairo"), 5, 0, 3, 2024, 6), "{\"data\":[{"));
    thread->runPass({group}, at("2024-06-03 11:47:01"), 2000);
    EXPECT_EQ(starts(), (QStringList{"3001:0", "3001:2"}));
    EXPECT_EQ(service.requestCount(), 2);
}

TEST_F(PrayTest, StopEndsAPendingRequestAtOnceAndCachesNothing)
{
    FakePrayService service([](const QString &) {
        FakePrayService::Reply reply;
        reply.hang = true;
        return reply;
    });
    PAPrayCalendar::setServiceUrl(service.url());
    PAPrayCalendar::setRequestTimeoutMs(15000);
    auto thread = watcher();
    const RDGroup group = prayGroup(1, QStringLiteral("Cairo"), {2});
    std::atomic<bool> returned{false};
    PAPrayDay day;
    std::thread asking([&] {
        day = thread->getPrayDay(group, 2024, 6, 3);
        returned.store(true);
    });
    ASSERT_TRUE(PaTest::waitUntil([&] { return service.requestCount() == 1; }, 5000));
    QElapsedTimer timer;
    timer.start();
    thread->stop();
    const bool ended = PaTest::waitUntil([&] { return returned.load(); }, 5000);
    asking.join();
    EXPECT_TRUE(ended);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(day.isValid());
    EXPECT_FALSE(QFile::exists(Velmar::prayCacheFile(QStringLiteral("Cairo"), 5, 0, 3, 2024, 6)));
}
