#include "FSConferencePass.h"
#include "FSGroupStartType.h"
#include "FakeConferenceHost.h"

#include <gtest/gtest.h>

namespace {

FSSipRegistration reg(const QString &user, const QString &status = QStringLiteral("Registered(UDP)"))
{
    FSSipRegistration r;
    r.sip_user = user;
    r.sip_host = QStringLiteral("127.0.0.1");
    r.status = status;
    return r;
}

// A leg the switch dialled into conference `conference` for `number`.
FSChannel leg(const QString &number, const QString &conference, const QString &state = QStringLiteral("ACTIVE"))
{
    FSChannel c;
    c.accountcode = number;
    c.dest = c.initial_dest = number;
    c.initial_cid_num = c.cid_name = conference;
    c.callstate = state;
    c.uuid = QStringLiteral("uuid-") + number + QLatin1Char('-') + conference;
    c.application_data = conference + QStringLiteral("@cdquality++flags{mute|endconf}");
    return c;
}

FSConference record(const QString &conference, int priority, const QStringList &devices)
{
    FSConference r;
    r.groupId = conference.toInt() - 3000;
    r.conference = conference;
    r.priority = priority;
    for (const QString &d : devices)
        r.members.append(FSConferenceMember(d, false));
    r.members.append(FSConferenceMember(QString::number(conference.toInt() + 1000), true));
    r.members.append(FSConferenceMember(QString::number(conference.toInt() + 2000), false));
    return r;
}

QString dialCommand(const QString &conference, const QString &number, bool speaks = false)
{
    return QStringLiteral("conference %1@cdquality++flags{%2} bgdial user/%3 %1 %1")
        .arg(conference, speaks ? QStringLiteral("hear|speak|endconf") : QStringLiteral("mute|endconf"), number);
}

class FSConferencePassTest : public ::testing::Test
{
protected:
    void pass(const QVector<FSChannel> &channels, const QVector<FSSipRegistration> &regs, bool valid = true)
    {
        FSConference::sortByPriority(records);
        FSSwitchState state(channels, regs, valid);
        m_pass.run(records, state, now);
    }
    // Every member of every record registered and joined to its record.
    void passAllJoined(const QVector<FSChannel> &extra = {})
    {
        QVector<FSChannel> channels = extra;
        QVector<FSSipRegistration> regs;
        for (const FSConference &r : records) {
            for (const FSConferenceMember &m : r.members) {
                regs << reg(m.number);
                channels << leg(m.number, r.conference);
            }
        }
        pass(channels, regs);
    }

    FakeConferenceHost host;
    FSConferencePass m_pass{&host};
    QVector<FSConference> records;
    double now = 1000000.0;
};

TEST(FSConferenceTest, VolumeLevels)
{
    struct Case {
        int volume, file, sip;
    } cases[] = {
        {-10, -13, 0}, {-9, -11, 10}, {-5, -6, 50}, {-1, -1, 90}, {0, 0, 100},
        {1, 1, 110},   {5, 6, 150},   {9, 11, 190}, {10, 13, 200},
        {-25, -13, 0}, {99, 13, 200}, // stored values off the scale end at its ends
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FSConference::fileLevel(c.volume), c.file) << c.volume;
        EXPECT_EQ(FSConference::sipLevel(c.volume), c.sip) << c.volume;
    }
}

TEST(FSConferenceTest, StartTypesRoundTripIgnoringCase)
{
    const char *texts[] = {"user", "call conference", "sipTrunk", "schedule", "http", "pray", "api"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(fsGroupStartTypeFromText(QString::fromLatin1(texts[i]).toUpper()), i + 1);
        EXPECT_EQ(fsGroupStartTypeText(i + 1), QLatin1String(texts[i]));
    }
    EXPECT_EQ(fsGroupStartTypeFromText("operator"), 0);
    EXPECT_EQ(fsGroupStartTypeFromText(""), 0);
    EXPECT_EQ(fsGroupStartTypeText(0), "none");
    EXPECT_EQ(fsGroupStartTypeText(8), "none");
}

TEST(FSConferenceTest, SortAndMediaLookup)
{
    QVector<FSConference> v{record("3001", 5, {}), record("3009", 1, {}), record("3002", 5, {}),
                            record("3003", 7, {})};
    FSConference::sortByPriority(v);
    QStringList order;
    for (const FSConference &r : v)
        order << r.conference;
    EXPECT_EQ(order, QStringList({"3003", "3002", "3001", "3009"}));

    FSConference r;
    r.media = QStringList{"/a.mp3"};
    EXPECT_EQ(r.getMedia(0), "/a.mp3");
    EXPECT_EQ(r.getMedia(1), "");
    EXPECT_EQ(r.getMedia(-1), "");
}

TEST(FSSwitchStateTest, DeviceStatusAndFirstRowLookups)
{
    FSChannel ringing = leg("6002", "3001", "RINGING");
    FSChannel other = leg("6003", "3001", "active"); // state compared ignoring case
    FSChannel byDest;                                 // an intercom call to 6004: only initial_dest names it
    byDest.accountcode = "2000";
    byDest.initial_dest = "6004";
    byDest.callstate = "ACTIVE";
    FSChannel later = leg("6002", "3002"); // not the first row of 6002
    FSSwitchState s({ringing, other, byDest, later},
                    {reg("6001"), reg("6002"), reg("6003"), reg("6004"), reg("6005", "Unregistered"),
                     reg("6001", "Registered(UDP)")});
    const QMap<QString, QString> status = s.deviceStatus();
    EXPECT_EQ(status.value("6001"), "online");
    EXPECT_EQ(status.value("6002"), "online"); // ringing is not a call yet
    EXPECT_EQ(status.value("6003"), "calling");
    EXPECT_EQ(status.value("6004"), "calling");
    EXPECT_EQ(status.value("6005"), "online"); // every row counts as online ...
    EXPECT_FALSE(s.isRegistered("6005"));      // ... but only "Registered" is dialled
    EXPECT_TRUE(s.isRegistered("6001"));
    EXPECT_FALSE(status.contains("6006"));
    ASSERT_NE(s.channelOf("6002"), nullptr);
    EXPECT_EQ(s.channelOf("6002")->callstate, "RINGING");
    EXPECT_EQ(FSSwitchState::conferenceOf(later), "3002");
}

TEST_F(FSConferencePassTest, DialsRegisteredMembersOncePerTenSeconds)
{
    records << record("3001", 1, {"6001", "6002", "6003", "6004"});
    const QVector<FSSipRegistration> regs{reg("6001"), reg("6002"), reg("6003"), reg("4001"),
                                          reg("6004", "Unregistered")};
    const QVector<FSChannel> channels{leg("6002", "3001", "RINGING"), leg("6003", "3001", "HANGUP")};
    pass(channels, regs);
    // 6001 has no leg, 6003's leg is dying, 6002 rings, 6004 and 5001 are not registered.
    EXPECT_EQ(host.commands, QStringList({dialCommand("3001", "6001"), dialCommand("3001", "6003"),
                                          dialCommand("3001", "4001", true)}));
    host.clear();
    now += 9.9;
    pass(channels, regs);
    EXPECT_TRUE(host.commands.isEmpty()) << host.commands.join('\n').toStdString();
    now += 0.1;
    pass(channels, regs);
    EXPECT_EQ(host.commands.size(), 3);
}

// The dials of a pass leave together (the host may run them side by side),
// but never overtake a command the pass sent after them: a device taken from
// a weaker zone is hung up there only after the dials before it were sent,
// and the dials of many zones are one batch, not a run each.
TEST_F(FSConferencePassTest, DialsLeaveInBatchesThatKeepTheirPlaceAmongOtherCommands)
{
    records << record("3001", 5, {"6001", "6002"}) << record("3002", 1, {"6003", "6004"});
    QVector<FSSipRegistration> regs;
    for (const char *n : {"6001", "6002", "6003", "6004", "4001", "4002"})
        regs << reg(n);
    // 6002 plays in the weaker zone 3002 and is taken by 3001.
    pass({leg("6002", "3002")}, regs);
    const QStringList first{dialCommand("3001", "6001")};
    const QStringList second{dialCommand("3001", "4001", true), dialCommand("3002", "6003"),
                             dialCommand("3002", "6004"), dialCommand("3002", "4002", true)};
    EXPECT_EQ(host.commands, first + QStringList{"uuid_kill uuid-6002-3002"} + second);
    EXPECT_EQ(host.batches, QVector<QStringList>({first, second}));

    // Nothing else to send: every dial of the pass is one batch.
    host.clear();
    records.clear();
    records << record("3003", 2, {"6005", "6006"}) << record("3004", 1, {"6007"});
    pass({}, {reg("6005"), reg("6006"), reg("6007")});
    EXPECT_EQ(host.batches, QVector<QStringList>({{dialCommand("3003", "6005"), dialCommand("3003", "6006"),
                                                   dialCommand("3004", "6007")}}));
}

TEST_F(FSConferencePassTest, PriorityDecidesWhoHoldsASharedDevice)
{
    struct Case {
        int high, low;
        bool takesOver;
    } cases[] = {{6, 5, true}, {5, 5, false}, {4, 5, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.high << " vs " << c.low);
        FakeConferenceHost h;
        FSConferencePass p(&h);
        // 3002 plays to 6001 already; 3001 starts and wants it too.
        QVector<FSConference> recs{record("3001", c.high, {"6001"}), record("3002", c.low, {"6001"})};
        FSConference::sortByPriority(recs);
        QVector<FSSipRegistration> regs{reg("6001"), reg("4001"), reg("5001"), reg("4002"), reg("5002")};
        QVector<FSChannel> channels{leg("6001", "3002"), leg("4001", "3001"), leg("5001", "3001"),
                                    leg("4002", "3002"), leg("5002", "3002")};
        double t = now;
        p.run(recs, FSSwitchState(channels, regs), t);
        EXPECT_EQ(h.commands.contains("uuid_kill uuid-6001-3002"), c.takesOver);
        EXPECT_FALSE(h.commands.filter("bgdial").size()) << h.commands.join('\n').toStdString();
        if (!c.takesOver) {
            EXPECT_TRUE(h.commands.isEmpty());
            continue;
        }
        // The leg is gone: the stronger zone dials it at once, the weaker
        // one does not dial it a second time.
        h.clear();
        channels.removeFirst();
        t += 0.5;
        p.run(recs, FSSwitchState(channels, regs), t);
        EXPECT_EQ(h.commands, QStringList({dialCommand("3001", "6001")}));
        h.clear();
        channels << leg("6001", "3001");
        t += 0.5;
        p.run(recs, FSSwitchState(channels, regs), t);
        EXPECT_TRUE(h.commands.isEmpty());
        // The stronger zone stops (its legs are gone): the weaker one gets the device back.
        recs.removeFirst();
        channels.erase(std::remove_if(channels.begin(), channels.end(),
                                      [](const FSChannel &ch) { return ch.application_data.startsWith("3001"); }),
                       channels.end());
        h.clear();
        t += 0.5;
        p.run(recs, FSSwitchState(channels, regs), t);
        EXPECT_TRUE(h.commands.isEmpty()) << "dial throttled for 10 s";
        t += 10;
        p.run(recs, FSSwitchState(channels, regs), t);
        EXPECT_EQ(h.commands, QStringList({dialCommand("3002", "6001")}));
    }
}

TEST_F(FSConferencePassTest, DeviceInTwoZonesOfEqualPriorityIsDialledOnce)
{
    records << record("3001", 5, {"6001"}) << record("3002", 5, {"6001"});
    pass({}, {reg("6001")});
    // Greater conference number first; the other zone leaves the number to it.
    EXPECT_EQ(host.commands, QStringList({dialCommand("3002", "6001")}));
}

TEST_F(FSConferencePassTest, HangsUpConferencesNoGroupHolds)
{
    records << record("3001", 1, {});
    FSChannel stale = leg("6001", "3005");
    FSChannel held = leg("6002", "3001", "RINGING");
    FSChannel intercom = leg("6003", "x");
    intercom.application_data = "user/6003";
    FSChannel outOfRange = leg("6004", "2999");
    FSChannel bare = leg("6005", "x");
    bare.application_data = "3999"; // no "@" at all
    pass({stale, held, intercom, outOfRange, bare}, {});
    EXPECT_EQ(host.commands, QStringList({"conference 3005 hup all", "conference 3999 hup all"}));
}

TEST_F(FSConferencePassTest, RtpLegIsDialledAndCountsAsJoined)
{
    FSConference r = record("3001", 1, {});
    r.members.clear();
    r.rtpLeg = "rtp3001";
    r.media = QStringList{"/m/a.wav"};
    r.command = FSConference::CommandStart;
    records << r;
    pass({}, {reg("rtp3001")});
    EXPECT_EQ(host.commands, QStringList({"conference 3001@cdquality++flags{mute|endconf} bgdial "
                                          "sofia/gateway/ingwrtp3001/rtp3001 3001 3001"}));
    host.clear();
    now += 0.5;
    pass({leg("rtp3001", "3001")}, {reg("rtp3001")});
    EXPECT_EQ(host.commands, QStringList({"conference 3001 stop", "conference 3001 play '/m/a.wav'",
                                          "conference 3001 file-vol 0"}));
}

TEST_F(FSConferencePassTest, NothingChangedSendsNothing)
{
    records << record("3001", 1, {"6001", "6002"}) << record("3002", 2, {"6003"});
    passAllJoined();
    passAllJoined();
    EXPECT_TRUE(host.commands.isEmpty()) << host.commands.join('\n').toStdString();
    EXPECT_TRUE(host.stops.isEmpty());
}

TEST_F(FSConferencePassTest, UnreadableStateChangesNothing)
{
    FSConference r = record("3001", 1, {"6001"});
    r.internalCaller = "6009";
    records << r;
    for (int i = 0; i < 5; ++i)
        pass({}, {}, false);
    EXPECT_TRUE(host.commands.isEmpty());
    EXPECT_TRUE(host.stops.isEmpty());
    EXPECT_EQ(records[0].missCount, 0);
}

TEST_F(FSConferencePassTest, CallerLegEndsGroupOrInterruption)
{
    struct Case {
        const char *name;
        bool external;
        bool interrupted;
    } cases[] = {{"internal", false, false}, {"external", true, false}, {"internal", false, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " interrupted=" << c.interrupted);
        host.clear();
        records.clear();
        FSConference r = record("3001", 1, {});
        FSChannel call;
        call.callstate = "ACTIVE";
        if (c.external) {
            r.externalCaller = "0301234";
            call.cid_name = "outbound call";
            call.initial_dest = "0301234";
            call.initial_cid_num = "+4930555";
            call.application_data = "3001@cdquality++flags{endconf}";
        } else {
            r.internalCaller = "6001";
            call.initial_cid_num = "6001";
            call.initial_dest = "3001";
            call.accountcode = "6001";
        }
        r.interrupted = c.interrupted;
        r.savedVolume = 4;
        r.volume = -10;
        records << r;
        pass({call}, {});
        call.callstate = "HANGUP";
        pass({call}, {});
        EXPECT_TRUE(host.stops.isEmpty()) << "one miss is tolerated";
        pass({}, {});
        if (c.interrupted) {
            EXPECT_TRUE(host.stops.isEmpty());
            EXPECT_TRUE(records[0].internalCaller.isEmpty());
            EXPECT_EQ(records[0].volume, 4);
            EXPECT_TRUE(host.commands.contains("conference 3001 file-vol 5")) << "volume back on the next pass";
            EXPECT_TRUE(host.sipVolumes.contains("4001=140"));
        } else {
            ASSERT_EQ(host.stops.size(), 1);
            EXPECT_EQ(host.stops[0].reason, QLatin1String(c.name));
            pass({}, {});
            EXPECT_EQ(host.stops.size(), 2) << "asked again until the record is gone";
        }
    }
}

TEST_F(FSConferencePassTest, AppLegHasFortyPassesToSignInAndSixToTalk)
{
    FSConference r = record("3001", 1, {});
    r.appLeg = "4001";
    records << r;
    for (int i = 0; i < 39; ++i)
        pass({}, {});
    EXPECT_TRUE(host.stops.isEmpty());
    pass({}, {});
    ASSERT_EQ(host.stops.size(), 1);
    EXPECT_EQ(host.stops[0].reason, "api");

    host.clear();
    records[0].missCount = 0;
    host.registered << "4001";
    host.talking << "4001";
    pass({}, {});
    pass({}, {});
    EXPECT_EQ(records[0].missCount, 0);
    host.talking.clear();
    for (int i = 0; i < 5; ++i)
        pass({}, {});
    EXPECT_TRUE(host.stops.isEmpty());
    pass({}, {});
    ASSERT_EQ(host.stops.size(), 1);
    EXPECT_EQ(host.stops[0].reason, "api");
}

// Plays a media record with every member joined; the switch reports each
// item ended at the next poll. Returns the items played, in order, until a
// stop is asked for or `maxPasses` run out.
class FSConferenceMediaTest : public FSConferencePassTest
{
protected:
    QStringList playUntilStop(int maxPasses, double step = 0.5)
    {
        QStringList played;
        for (int i = 0; i < maxPasses && host.stops.isEmpty(); ++i) {
            host.commands.clear();
            passAllJoined();
            for (const QString &c : host.commands.filter(" play '"))
                played << c.mid(c.indexOf('\'') + 1).chopped(1);
            now += step;
        }
        return played;
    }
    void setUp(const QString &loopType, int loopTimes = 0, double duration = 0)
    {
        FSConference r = record("3001", 1, {"6001"});
        r.media = QStringList{"a", "b", "c"};
        r.command = FSConference::CommandStart;
        r.loopTimesLeft = loopType == "none" ? 0 : loopType == "times" ? loopTimes : -1;
        r.loopDuration = duration;
        records << r;
        host.answer = [](const QString &c) {
            return c.endsWith("play_status") ? QStringLiteral("-ERR not playing\n") : QStringLiteral("+OK\n");
        };
    }
};

TEST_F(FSConferenceMediaTest, LoopTypes)
{
    setUp("none");
    EXPECT_EQ(playUntilStop(100), QStringList({"a", "b", "c"}));
    ASSERT_EQ(host.stops.size(), 1);
    EXPECT_EQ(host.stops[0].reason, "media");

    records.clear();
    host.clear();
    setUp("times", 2);
    EXPECT_EQ(playUntilStop(100), QStringList({"a", "b", "c", "a", "b", "c"}));
    EXPECT_EQ(host.stops.size(), 1);

    records.clear();
    host.clear();
    setUp("list");
    EXPECT_EQ(playUntilStop(8), QStringList({"a", "b", "c", "a", "b", "c", "a", "b"}));
    EXPECT_TRUE(host.stops.isEmpty());

    records.clear();
    host.clear();
    setUp("duration", 0, 60);
    const double start = now;
    const QStringList played = playUntilStop(1000);
    EXPECT_GE(played.size(), 100);
    ASSERT_EQ(host.stops.size(), 1);
    EXPECT_GE(now - 0.5, start + 60);
    EXPECT_LE(now - 0.5, start + 60.5);
}

TEST_F(FSConferenceMediaTest, PlayStartsOnlyOnceAMemberJoinedAndReportsEachItem)
{
    setUp("none");
    pass({}, {reg("6001")});
    EXPECT_TRUE(host.commands.filter("play").isEmpty());
    host.clear();
    passAllJoined();
    EXPECT_EQ(host.commands, QStringList({"conference 3001 stop", "conference 3001 play 'a'",
                                          "conference 3001 file-vol 0"}));
    EXPECT_EQ(host.sipVolumes, QStringList({"4001=100"}));
    ASSERT_EQ(host.playChanges.size(), 1);
    EXPECT_EQ(host.playChanges[0].index, 0);
    EXPECT_EQ(host.playChanges[0].item, "a");
    EXPECT_EQ(records[0].command, FSConference::CommandPlaying);
    // Still playing: only the poll; a volume change rides on it.
    host.clear();
    host.answer = [](const QString &) { return QStringLiteral("+OK\n"); };
    records[0].volume = 5;
    records[0].volumeChanged = true;
    passAllJoined();
    EXPECT_EQ(host.commands, QStringList({"conference 3001 play_status", "conference 3001 file-vol 6"}));
    EXPECT_FALSE(records[0].volumeChanged);
}

TEST_F(FSConferenceMediaTest, SwitchingToAPositionOutsideTheListPlaysTheFirstItem)
{
    setUp("list");
    records[0].command = FSConference::CommandSwitch;
    records[0].mediaPosition = 7;
    records[0].playStartTime = 123;
    passAllJoined();
    EXPECT_TRUE(host.commands.contains("conference 3001 play 'a'"));
    EXPECT_EQ(records[0].playStartTime, 123);
}

TEST_F(FSConferenceMediaTest, EmptyListEndsUnlessACallerHoldsTheGroup)
{
    FSConference r = record("3001", 1, {"6001"});
    r.command = FSConference::CommandStart;
    records << r;
    passAllJoined();
    ASSERT_EQ(host.stops.size(), 1);
    EXPECT_EQ(host.stops[0].reason, "media");
    EXPECT_EQ(records[0].command, FSConference::CommandStart);
}

TEST_F(FSConferenceMediaTest, ZoneWithoutDevicesPlaysOnceItsOwnAccountsJoin)
{
    setUp("none");
    records[0].members.removeFirst(); // only the zone's input and output accounts are left
    pass({}, {});
    EXPECT_TRUE(host.commands.isEmpty()) << "nothing registered, nothing dialled, nothing played";
    pass({}, {reg("4001"), reg("5001")});
    EXPECT_EQ(host.commands, QStringList({dialCommand("3001", "4001", true), dialCommand("3001", "5001")}));
    host.clear();
    passAllJoined();
    EXPECT_TRUE(host.commands.contains("conference 3001 play 'a'"));
}

TEST_F(FSConferenceMediaTest, SilentSwitchNeitherSkipsNorEndsTheList)
{
    // A restarting switch answers nothing at all: no item counts as ended or
    // refused, so a short list is not run through (and stopped) meanwhile.
    setUp("none");
    passAllJoined();
    host.answer = [](const QString &) { return QString(); };
    for (int i = 0; i < 10; ++i)
        passAllJoined();
    EXPECT_EQ(records[0].mediaPosition, 0);
    EXPECT_TRUE(host.stops.isEmpty());
    // Back again: the item has ended there, the next one plays.
    host.answer = [](const QString &c) {
        return c.endsWith("play_status") ? QStringLiteral("-ERR not playing\n") : QStringLiteral("+OK\n");
    };
    host.clear();
    passAllJoined();
    EXPECT_EQ(host.commands.filter(" play '"), QStringList({"conference 3001 play 'b'"}));
}

TEST_F(FSConferenceMediaTest, ListWhoseItemsAllFailEndsInsteadOfLoopingForEver)
{
    for (bool withCaller : {false, true}) {
        SCOPED_TRACE(withCaller);
        records.clear();
        host.clear();
        setUp("list");
        records[0].media = QStringList{"/gone/a.mp3", "/gone/b\nc.mp3", "/gone/it's.mp3"};
        host.answer = [](const QString &c) {
            return c.contains(" play") ? QStringLiteral("-ERR file not found\n") : QStringLiteral("+OK\n");
        };
        QVector<FSChannel> callerLeg;
        if (withCaller) {
            records[0].internalCaller = "6009";
            FSChannel call;
            call.initial_cid_num = call.accountcode = "6009";
            call.initial_dest = "3001";
            call.callstate = "ACTIVE";
            callerLeg << call;
        }
        QStringList sent;
        for (int i = 0; i < 20 && host.stops.isEmpty(); ++i) {
            host.commands.clear();
            passAllJoined(callerLeg);
            sent << host.commands;
            now += 0.5;
        }
        // The item with a line break is never sent; the apostrophe travels as it is.
        EXPECT_EQ(sent.filter(" play '"), QStringList({"conference 3001 play '/gone/a.mp3'", "conference 3001 play '/gone/it's.mp3'"}));
        EXPECT_EQ(host.playChanges.size(), 3);
        if (withCaller) {
            EXPECT_TRUE(host.stops.isEmpty());
            EXPECT_TRUE(host.commands.isEmpty()) << "the run-out list is left alone while the caller talks";
        } else {
            ASSERT_EQ(host.stops.size(), 1);
            EXPECT_EQ(host.stops[0].reason, "media");
        }
    }
}

} // namespace
