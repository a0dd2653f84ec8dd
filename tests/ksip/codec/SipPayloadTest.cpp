// Payload lists: the default offer, the filter of what this agent carries,
// the negotiation rule and the name comparison under them.
#include "SipPayload.h"
#include "SipString.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::string describe(const SipPayloadList *list)
{
    std::string s;
    for (SipPayload *p : *list) {
        s += std::to_string(p->number()) + ":" + (p->name() ? p->name() : "") + "/" + std::to_string(p->clockRate())
            + "/" + std::to_string(p->channels()) + " ";
    }
    return s;
}

SipPayloadList *listOf(std::initializer_list<SipPayload> items)
{
    auto *list = new SipPayloadList;
    for (const SipPayload &p : items) {
        list->append(new SipPayload(p));
    }
    return list;
}

TEST(SipPayload, DefaultOfferAndFilter)
{
    std::unique_ptr<SipPayloadList> offer(SipPayload::defaultAudioPayloads());
    EXPECT_EQ(describe(offer.get()), "102:opus/48000/2 9:G722/8000/1 3:GSM/8000/1 0:PCMU/8000/1 8:PCMA/8000/1 ");
    EXPECT_STREQ(offer->at(0)->fmtp(), "useinbandfec=1; cbr=1; maxaveragebitrate=48000; maxplaybackrate=48000; "
                                       "ptime=20; minptime=10; maxptime=40; stereo=1");
    EXPECT_EQ(offer->at(1)->fmtp(), nullptr);

    std::unique_ptr<SipPayloadList> fromEmpty(SipPayload::supportedPayloads(nullptr));
    EXPECT_EQ(describe(fromEmpty.get()), describe(offer.get()));
    SipPayloadList empty;
    fromEmpty.reset(SipPayload::supportedPayloads(&empty));
    EXPECT_EQ(fromEmpty->count(), 5);

    // The caller's order and numbers are kept; what cannot be carried goes.
    std::unique_ptr<SipPayloadList> remote(listOf({
        {"PCMA", 8, 8000, 1},
        {"opus", 111, 48000, 1},  // opus needs 2 channels
        {"telephone-event", 101, 8000, 1},
        {"G722", 9, 16000, 1},    // only the 8000 Hz clock
        {nullptr, 13, 8000, 1},   // unnamed
        {"GSM-EFR", 97, 8000, 1}, // not GSM 06.10
        {"pcmu", 0, 8000, 1},
        {"OPUS", 96, 48000, 2, "stereo=1"},
        {"gsm", 3, 8000, 1},
    }));
    std::unique_ptr<SipPayloadList> carried(SipPayload::supportedPayloads(remote.get()));
    EXPECT_EQ(describe(carried.get()), "8:PCMA/8000/1 0:pcmu/8000/1 96:OPUS/48000/2 3:gsm/8000/1 ");
    EXPECT_STREQ(carried->at(2)->fmtp(), "stereo=1");
}

TEST(SipPayload, MatchFollowsTheRemoteOrder)
{
    std::unique_ptr<SipPayloadList> local(SipPayload::defaultAudioPayloads());
    std::unique_ptr<SipPayloadList> remote(listOf({{"PCMA", 8, 8000, 1}, {"opus", 102, 48000, 2}}));
    SipPayload *m = SipPayload::matchPayload(local.get(), remote.get());
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->name(), "PCMA");
    EXPECT_EQ(m, local->at(4)); // the local entry itself

    std::unique_ptr<SipPayloadList> other(listOf({{"opus", 120, 48000, 1}, {"L16", 96, 8000, 1}, {"", 0, 8000, 1}}));
    EXPECT_EQ(SipPayload::matchPayload(local.get(), other.get()), nullptr);
    EXPECT_EQ(SipPayload::matchPayload(nullptr, remote.get()), nullptr);
    SipPayloadList empty;
    EXPECT_EQ(SipPayload::matchPayload(local.get(), &empty), nullptr);

    EXPECT_EQ(SipPayload::findByName(local.get(), "pcmu"), local->at(3));
    EXPECT_EQ(SipPayload::findByName(local.get(), ""), nullptr);
    EXPECT_EQ(SipPayload::findByName(local.get(), "G7"), nullptr);
    EXPECT_EQ(SipPayload::findByNumber(local.get(), 3), local->at(2));
    EXPECT_EQ(SipPayload::findByNumber(local.get(), 101), nullptr);
}

TEST(SipPayload, KindsCopyAndAssign)
{
    for (const char *name : {"opus", "PCMU", "pcma", "G722", "GSM"}) {
        SipPayload p(name, 0, 8000, 1);
        EXPECT_TRUE(SipPayload::isAudio(&p)) << name;
        EXPECT_FALSE(SipPayload::isVideo(&p)) << name;
    }
    for (const char *name : {"H264", "h264"}) {
        SipPayload p(name, 96, 90000, 0);
        EXPECT_TRUE(SipPayload::isVideo(&p));
        EXPECT_FALSE(SipPayload::isAudio(&p));
    }
    for (const char *name : {"", "GSM-EFR", "telephone-event", "CN", "H26"}) {
        SipPayload p(name, 96, 8000, 1);
        EXPECT_FALSE(SipPayload::isAudio(&p)) << name;
        EXPECT_FALSE(SipPayload::isVideo(&p)) << name;
    }
    EXPECT_FALSE(SipPayload::isAudio(nullptr));

    SipPayload a("opus", 102, 48000, 2, "stereo=1", 40);
    SipPayload copy(a);
    EXPECT_EQ(copy.ptime(), 40);
    EXPECT_NE(copy.name(), a.name()); // its own copy of the text
    SipPayload b("PCMU", 0, 8000, 1, nullptr, 30);
    b = a;
    EXPECT_STREQ(b.name(), "opus");
    EXPECT_STREQ(b.fmtp(), "stereo=1");
    EXPECT_EQ(b.clockRate(), 48000);
    EXPECT_EQ(b.ptime(), 30); // assignment keeps the frame duration
}

TEST(SipString, ComparisonsAreWholeString)
{
    struct Case
    {
        const char *a;
        const char *b;
        bool caseEqual;
        bool equal;
    };
    const Case cases[] = {
        {"PCMU", "pcmu", true, false},   {"GSM", "GSM-EFR", false, false}, {"GSM-EFR", "GSM", false, false},
        {"600", "6001", false, false},   {"6001", "6001", true, true},     {"", "6001", false, false},
        {nullptr, "x", false, false},    {nullptr, "", true, true},        {nullptr, nullptr, true, true},
        {"opus\xC3", "OPUS\xC3", true, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(SipString::caseEqual(c.a, c.b), c.caseEqual) << (c.a ? c.a : "(null)") << " " << c.b;
        EXPECT_EQ(SipString::equal(c.a, c.b), c.equal) << (c.a ? c.a : "(null)") << " " << c.b;
    }
    EXPECT_LT(SipString::compare(nullptr, ""), 0);
    EXPECT_GT(SipString::compare("", nullptr), 0);
    EXPECT_EQ(SipString::compare(nullptr, nullptr), 0);
    EXPECT_LT(SipString::compare("a", "b"), 0);
    EXPECT_TRUE(SipString::isEmpty(nullptr));
    EXPECT_TRUE(SipString::isEmpty(""));
    EXPECT_FALSE(SipString::isEmpty(" "));

    char *field = nullptr;
    SipString::assign(&field, "one");
    char *first = field;
    SipString::assign(&field, field); // the same pointer is left alone
    EXPECT_EQ(field, first);
    SipString::assign(&field, "two");
    EXPECT_STREQ(field, "two");
    EXPECT_EQ(SipString::duplicate(nullptr), nullptr);
    SipString::clear(&field);
    EXPECT_EQ(field, nullptr);
}

} // namespace
