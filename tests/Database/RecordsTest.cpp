#include "RDGroup.h"

#include <gtest/gtest.h>

#include <QDateTime>

namespace {

RDDevice device(int id, const QString &name, const QString &status = QStringLiteral("none"))
{
    RDDeviceInfo info;
    info.id = id;
    info.name = name;
    info.number = QString::number(1000 + id);
    return RDDevice(info, status);
}

QVector<QString> strings(std::initializer_list<const char *> items)
{
    QVector<QString> list;
    for (const char *item : items)
        list.append(QString::fromUtf8(item));
    return list;
}

} // namespace

TEST(RDGroupRecord, DefaultsAreZeroOrEmptyExceptPrayerSettingsAndRunState)
{
    const RDGroup group;
    EXPECT_FALSE(group.isValid());
    EXPECT_EQ(group.prayMethod, 7);
    EXPECT_EQ(group.praySchool, 0);
    EXPECT_EQ(group.prayLatitudeAdjustmentMethod, 3);
    EXPECT_EQ(group.playIndex, -1);
    EXPECT_EQ(group.startType, QStringLiteral("none"));
    EXPECT_EQ(group.started, 0);
    EXPECT_EQ(group.prayType, 0);
    // Every other column: 0 or empty.
#define CHECK_DEFAULT_Int(field) \
    if (QLatin1String(#field) != QLatin1String("prayMethod") \
        && QLatin1String(#field) != QLatin1String("prayLatitudeAdjustmentMethod")) { \
        EXPECT_EQ(group.field, 0) << #field; \
    }
#define CHECK_DEFAULT_Text(field) EXPECT_TRUE(group.field.isEmpty()) << #field;
#define CHECK_DEFAULT(kind, field) CHECK_DEFAULT_##kind(field)
    RD_GROUP_COLUMNS(CHECK_DEFAULT)
#undef CHECK_DEFAULT
    EXPECT_TRUE(group.mediaList.isEmpty() && group.deviceList.isEmpty() && group.scheduleOperationList.isEmpty()
                && group.prayFileList.isEmpty());
    EXPECT_EQ(RDGroupInfo::columnNames().size(), 44);
}

TEST(RDGroupRecord, DeviceListFollowsTextOrderAndSkipsBadParts)
{
    RDGroup group;
    group.devices = QStringLiteral("5;;7;abc;0;5;9");
    const QVector<RDDevice> all{device(7, "seven"), device(5, "five")};
    group.updateDevices(all);
    ASSERT_EQ(group.deviceList.size(), 3);
    EXPECT_EQ(group.deviceList[0].id, 5);
    EXPECT_EQ(group.deviceList[1].id, 7);
    EXPECT_EQ(group.deviceList[1].name, QStringLiteral("seven"));
    EXPECT_EQ(group.deviceList[2].id, 5);

    group.updateDevices({});
    EXPECT_TRUE(group.deviceList.isEmpty());

    group.setDevices({});
    EXPECT_TRUE(group.devices.isEmpty());
    group.setDevices({device(3, "a"), device(12, "b")});
    EXPECT_EQ(group.devices, QStringLiteral("3;12"));
}

TEST(RDGroupRecord, DeviceStatusIsTakenFromTheFullListByIdOrNone)
{
    RDGroup group;
    group.deviceList = {device(1, "a", "calling"), device(2, "b", "online")};
    group.updateDeviceStatus({device(2, "renamed", "calling")});
    EXPECT_EQ(group.deviceList[0].status, QStringLiteral("none"));
    EXPECT_EQ(group.deviceList[1].status, QStringLiteral("calling"));
    EXPECT_EQ(group.deviceList[1].name, QStringLiteral("b"));
}

TEST(RDGroupRecord, MediaListDropsEmptyLines)
{
    RDGroup group;
    group.medium = QStringLiteral("/a/one.mp3\n\n/b/two.mp3\n");
    group.updateMedia();
    EXPECT_EQ(group.mediaList, strings({"/a/one.mp3", "/b/two.mp3"}));

    group.setMedia(strings({"x", "", "y"}));
    EXPECT_EQ(group.medium, QStringLiteral("x\n\ny"));
    group.updateMedia();
    EXPECT_EQ(group.mediaList, strings({"x", "y"}));
    group.setMedia({});
    EXPECT_TRUE(group.medium.isEmpty());
}

TEST(RDGroupRecord, ScheduleOperationsParseAndRoundTrip)
{
    RDGroup group;
    group.scheduleOperations = QStringLiteral("08:00;start\n\n09:00;stop;extra");
    group.updateScheduleOperations();
    ASSERT_EQ(group.scheduleOperationList.size(), 2);
    EXPECT_EQ(group.scheduleOperationList[0].time, QStringLiteral("08:00"));
    EXPECT_EQ(group.scheduleOperationList[0].action, QStringLiteral("start"));
    EXPECT_TRUE(group.scheduleOperationList[1].time.isEmpty());
    EXPECT_TRUE(group.scheduleOperationList[1].action.isEmpty());

    QVector<RDGroupScheduleOperation> operations(3);
    operations[0].time = QStringLiteral("07:30");
    operations[0].action = QStringLiteral("start");
    operations[2].time = QStringLiteral("%2 %1");   // placeholders must not be expanded
    operations[2].action = QStringLiteral("stop");
    group.setScheduleOperations(operations);
    EXPECT_EQ(group.scheduleOperations, QStringLiteral("07:30;start\n;\n%2 %1;stop"));
    group.updateScheduleOperations();
    EXPECT_TRUE(RDGroup::sameScheduleOperations(group.scheduleOperationList, operations));
    operations[1].action = QStringLiteral("Start");
    EXPECT_FALSE(RDGroup::sameScheduleOperations(group.scheduleOperationList, operations));
    EXPECT_FALSE(RDGroup::sameScheduleOperations(group.scheduleOperationList, operations.mid(0, 2)));
}

TEST(RDGroupRecord, PrayFilesKeepTheirSlots)
{
    struct Case {
        const char *text;
        QVector<QString> list;
        bool hasFiles;
    };
    const Case cases[] = {
        {"\n/p/fajr.mp3\n", strings({"", "/p/fajr.mp3", ""}), true},
        {"\n\n\n", strings({"", "", "", ""}), false},
        {"", strings({""}), false},
    };
    for (const Case &c : cases) {
        RDGroup group;
        group.prayFiles = QString::fromUtf8(c.text);
        group.updatePrayFiles();
        EXPECT_EQ(group.prayFileList, c.list) << c.text;
        EXPECT_EQ(group.hasPrayFiles(), c.hasFiles) << c.text;
    }
    RDGroup group;
    group.setPrayFiles(strings({"", "b", ""}));
    EXPECT_EQ(group.prayFiles, QStringLiteral("\nb\n"));
    group.updatePrayFiles();
    EXPECT_EQ(group.prayFileList, strings({"", "b", ""}));
}

TEST(RDGroupRecord, TextTestsIgnoreCaseAndStreamUrlsFallBack)
{
    RDGroup group;
    group.source = QStringLiteral("MEDIA");
    EXPECT_TRUE(group.isMediaSource());
    EXPECT_FALSE(group.isPraySource());
    group.source = QStringLiteral("Pray");
    EXPECT_TRUE(group.isPraySource());

    EXPECT_TRUE(device(1, "a", "ONLINE").isOnline());
    EXPECT_TRUE(device(1, "a", "Calling").isCalling());
    EXPECT_FALSE(device(1, "a", "none").isOnline());

    group.backgroundSubStream = QStringLiteral("rtsp://sub");
    EXPECT_EQ(group.mainStreamUrl(), QStringLiteral("rtsp://sub"));
    group.backgroundMainStream = QStringLiteral("rtsp://main");
    EXPECT_EQ(group.mainStreamUrl(), QStringLiteral("rtsp://main"));
    EXPECT_EQ(group.subStreamUrl(), QStringLiteral("rtsp://sub"));
}

TEST(RDGroupRecord, EqualityComparesIdsOnly)
{
    EXPECT_TRUE(device(4, "a") == device(4, "b"));
    EXPECT_FALSE(device(4, "a") == device(5, "a"));
    RDGroup a, b;
    a.id = b.id = 9;
    a.name = QStringLiteral("x");
    EXPECT_TRUE(a == b);
    b.id = 10;
    EXPECT_FALSE(a == b);
}

TEST(RDGroupRecord, PlayPositionAdvancesWithTime)
{
    RDGroup group;
    group.started = 1;
    group.startType = QStringLiteral("user");
    group.setPlayStatus(2, 1.5, 9);
    EXPECT_EQ(group.playIndex, 2);
    EXPECT_EQ(group.prayType, 9);
    EXPECT_EQ(group.started, 1);
    EXPECT_EQ(group.startType, QStringLiteral("user"));
    const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    EXPECT_NEAR(group.playUpdateTime, now, 1.0);
    // As if the status had been set five seconds ago.
    group.playUpdateTime -= 5.0;
    EXPECT_NEAR(group.currentPlayPosition(), 6.5, 0.5);
}

TEST(RDGroupRecord, CopiesCarryAllParts)
{
    RDGroup group;
    group.id = 3;
    group.name = QStringLiteral("hall");
    group.started = 1;
    group.setMedia(strings({"a"}));
    RDGroup copy;
    copy = group;
    EXPECT_EQ(copy.name, QStringLiteral("hall"));
    EXPECT_EQ(copy.started, 1);
    EXPECT_EQ(copy.mediaList, strings({"a"}));
}
