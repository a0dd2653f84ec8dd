// SDP bodies: the exact text of the offer and answer, the bounded reading of
// a peer's payload lists, and the helpers that pick media, ports and
// addresses out of a parsed body.
#include "SipPayload.h"
#include "SipSessionDescription.h"

#include <osipparser2/sdp_message.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::string describe(const SipPayloadList *list)
{
    if (!list) {
        return "(none)";
    }
    std::string s;
    for (SipPayload *p : *list) {
        s += std::to_string(p->number()) + ":" + (p->name() ? p->name() : "") + "/" + std::to_string(p->clockRate())
            + "/" + std::to_string(p->channels());
        if (p->fmtp()) {
            s += "[" + std::string(p->fmtp()) + "]";
        }
        s += " ";
    }
    return s;
}

struct SdpDeleter
{
    void operator()(sdp_message_t *sdp) const { sdp_message_free(sdp); }
};
using SdpPtr = std::unique_ptr<sdp_message_t, SdpDeleter>;

SdpPtr parseSdp(const std::string &text)
{
    sdp_message_t *sdp = nullptr;
    sdp_message_init(&sdp);
    if (sdp_message_parse(sdp, text.c_str()) != 0) {
        sdp_message_free(sdp);
        return nullptr;
    }
    return SdpPtr(sdp);
}

// The first media description of a type; the stack's helpers are not used
// here so that this file checks the payload reader alone.
sdp_media_t *firstMedia(sdp_message_t *sdp, const std::string &type)
{
    for (int i = 0; !osip_list_eol(&sdp->m_medias, i); ++i) {
        auto *media = static_cast<sdp_media_t *>(osip_list_get(&sdp->m_medias, i));
        if (media->m_media && type == media->m_media) {
            return media;
        }
    }
    return nullptr;
}

const char kSession[] = "v=0\r\no=peer 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n";

// The payloads of the first audio media of a body made of kSession and
// `media`.
std::string payloadsOf(const std::string &media, const char *type = "audio")
{
    SdpPtr sdp = parseSdp(kSession + media);
    if (!sdp) {
        return "(unparsed)";
    }
    std::unique_ptr<SipPayloadList> list(SipSessionDescription::parsePayloads(firstMedia(sdp.get(), type)));
    return describe(list.get());
}

TEST(SipSessionDescription, DefaultOfferIsWrittenExactly)
{
    std::unique_ptr<SipPayloadList> offer(SipPayload::defaultAudioPayloads());
    char buffer[SipSessionDescription::kBufferSize];
    const int n = SipSessionDescription::write(buffer, sizeof(buffer), "192.168.1.20", 35002, 35004, offer.get(), nullptr);
    const std::string expected = "v=0\r\n"
                                 "o=vorn 0 0 IN IP4 192.168.1.20\r\n"
                                 "s=conversation\r\n"
                                 "c=IN IP4 192.168.1.20\r\n"
                                 "t=0 0\r\n"
                                 "m=audio 35002 RTP/AVP 102 9 3 0 8\r\n"
                                 "a=rtpmap:102 opus/48000/2\r\n"
                                 "a=fmtp:102 useinbandfec=1; cbr=1; maxaveragebitrate=48000; maxplaybackrate=48000; "
                                 "ptime=20; minptime=10; maxptime=40; stereo=1\r\n"
                                 "a=rtpmap:9 G722/8000\r\n"
                                 "a=rtpmap:3 GSM/8000\r\n"
                                 "a=rtpmap:0 PCMU/8000\r\n"
                                 "a=rtpmap:8 PCMA/8000\r\n";
    EXPECT_EQ(std::string(buffer), expected);
    EXPECT_EQ(n, int(expected.size()));

    // What this agent writes, it reads back the same way.
    SdpPtr sdp = parseSdp(buffer);
    ASSERT_TRUE(sdp);
    sdp_media_t *audio = firstMedia(sdp.get(), "audio");
    std::unique_ptr<SipPayloadList> back(SipSessionDescription::parsePayloads(audio));
    EXPECT_EQ(describe(back.get()), "102:opus/48000/2[useinbandfec=1;] 9:G722/8000/1 3:GSM/8000/1 0:PCMU/8000/1 "
                                    "8:PCMA/8000/1 ");
    EXPECT_EQ(firstMedia(sdp.get(), "video"), nullptr);
}

TEST(SipSessionDescription, AnswerWithVideoAndWithoutAudio)
{
    SipPayloadList audio;
    audio.append(new SipPayload("PCMA", 8, 8000, 1));
    audio.append(new SipPayload("opus", 111, 48000, 2, "useinbandfec=1;"));
    SipPayloadList video;
    // Video lines never carry a channel count.
    video.append(new SipPayload("H264", 96, 90000, 2, "profile-level-id=42e01f"));
    char buffer[SipSessionDescription::kBufferSize];
    ASSERT_GT(SipSessionDescription::write(buffer, sizeof(buffer), "10.0.0.5", 4000, 4002, &audio, &video), 0);
    EXPECT_EQ(std::string(buffer), "v=0\r\no=vorn 0 0 IN IP4 10.0.0.5\r\ns=conversation\r\nc=IN IP4 10.0.0.5\r\n"
                                   "t=0 0\r\n"
                                   "m=audio 4000 RTP/AVP 8 111\r\n"
                                   "a=rtpmap:8 PCMA/8000\r\n"
                                   "a=rtpmap:111 opus/48000/2\r\n"
                                   "a=fmtp:111 useinbandfec=1;\r\n"
                                   "m=video 4002 RTP/AVP 96\r\n"
                                   "a=rtpmap:96 H264/90000\r\n"
                                   "a=fmtp:96 profile-level-id=42e01f\r\n");

    SipPayloadList empty;
    ASSERT_GT(SipSessionDescription::write(buffer, sizeof(buffer), "10.0.0.5", 4000, 4002, &empty, nullptr), 0);
    EXPECT_EQ(std::string(buffer), "v=0\r\no=vorn 0 0 IN IP4 10.0.0.5\r\ns=conversation\r\nc=IN IP4 10.0.0.5\r\n"
                                   "t=0 0\r\n");
}

TEST(SipSessionDescription, BodyThatDoesNotFitIsRefusedNotCut)
{
    std::unique_ptr<SipPayloadList> offer(SipPayload::defaultAudioPayloads());
    char big[SipSessionDescription::kBufferSize];
    const int n = SipSessionDescription::write(big, sizeof(big), "127.0.0.1", 35000, 35002, offer.get(), nullptr);
    ASSERT_GT(n, 0);

    std::string fits(size_t(n) + 1, 'x');
    EXPECT_EQ(SipSessionDescription::write(&fits[0], n + 1, "127.0.0.1", 35000, 35002, offer.get(), nullptr), n);
    EXPECT_EQ(fits.substr(0, size_t(n)), std::string(big));

    std::string tooSmall(size_t(n), 'x');
    EXPECT_EQ(SipSessionDescription::write(&tooSmall[0], n, "127.0.0.1", 35000, 35002, offer.get(), nullptr), -1);
    EXPECT_EQ(tooSmall[0], '\0');

    // A list whose parameters are far longer than the buffer.
    SipPayloadList huge;
    const std::string longFmtp(SipSessionDescription::kBufferSize, 'f');
    huge.append(new SipPayload("opus", 102, 48000, 2, longFmtp.c_str()));
    EXPECT_EQ(SipSessionDescription::write(big, sizeof(big), "127.0.0.1", 35000, 35002, &huge, nullptr), -1);
    EXPECT_EQ(big[0], '\0');
}

TEST(SipSessionDescription, PayloadListsOfPeers)
{
    struct Case
    {
        const char *media;
        const char *expected;
    } cases[] = {
        // Static payloads without rtpmap; 101 stays nameless.
        {"m=audio 4000 RTP/AVP 0 8 101\r\n", "0:PCMU/8000/1 8:PCMA/8000/1 101:/0/0 "},
        // Order of the media line; attributes for numbers not on it ignored.
        {"m=audio 4000 RTP/AVP 8 111\r\na=rtpmap:111 opus/48000/2\r\na=rtpmap:9 G722/8000\r\n"
         "a=fmtp:9 bitrate=64000\r\n",
         "8:PCMA/8000/1 111:opus/48000/2 "},
        // An audio codec without channel count is mono; another name is left at 0.
        {"m=audio 4000 RTP/AVP 9 97\r\na=rtpmap:9 G722/8000\r\na=rtpmap:97 L16/8000\r\n",
         "9:G722/8000/1 97:L16/8000/0 "},
        // The parameters keep their first word only.
        {"m=audio 4000 RTP/AVP 111\r\na=rtpmap:111 opus/48000/2\r\na=fmtp:111 minptime=10; useinbandfec=1\r\n",
         "111:opus/48000/2[minptime=10;] "},
        // Entries that are not RTP payload numbers are skipped.
        {"m=audio 4000 RTP/AVP foo 8 128 -1 99999999999 0x8\r\n", "8:PCMA/8000/1 "},
        // Malformed rtpmap values leave the payload as the media line made it.
        {"m=audio 4000 RTP/AVP 96 97 98 99\r\na=rtpmap:96 opus\r\na=rtpmap:97 /8000\r\n"
         "a=rtpmap:98 PCMU/eight\r\na=rtpmap:99 PCMU/8000/1/extra\r\n",
         "96:/0/0 97:/0/0 98:/0/0 99:/0/0 "},
        // An rtpmap overrides the static meaning of 0.
        {"m=audio 4000 RTP/AVP 0\r\na=rtpmap:0 PCMA/8000\r\n", "0:PCMA/8000/1 "},
        // No payload on the line at all.
        {"m=audio 4000 RTP/AVP\r\n", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.media);
        EXPECT_EQ(payloadsOf(c.media), c.expected);
    }
    // Video keeps a channel count of 0; a body without that media has no list.
    EXPECT_EQ(payloadsOf("m=audio 4000 RTP/AVP 0\r\nm=video 5002 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n", "video"),
              "96:H264/90000/0 ");
    EXPECT_EQ(payloadsOf("m=audio 4000 RTP/AVP 0\r\n", "video"), "(none)");
}

TEST(SipSessionDescription, OverlongFieldsAreIgnoredWithoutOverflow)
{
    // Under the address sanitizer these would show an overrun of any fixed
    // buffer the parser used.
    const std::string longName(1000, 'N');
    const std::string longFmtp(1000, 'F');
    const std::string media = "m=audio 4000 RTP/AVP 8 96 97\r\n"
                              "a=rtpmap:96 "
        + longName + "/8000\r\na=rtpmap:97 opus/48000/2\r\na=fmtp:97 " + longFmtp
        + "\r\na=fmtp:8 " + std::string(SipSessionDescription::kMaxFmtpLength, 'k') + "\r\n";
    EXPECT_EQ(payloadsOf(media), "8:PCMA/8000/1[" + std::string(SipSessionDescription::kMaxFmtpLength, 'k') + "] 96:/0/0 97:opus/48000/2 ");

    const std::string justTooLong = "m=audio 4000 RTP/AVP 8 96\r\na=rtpmap:96 "
        + std::string(SipSessionDescription::kMaxNameLength + 1, 'n') + "/8000\r\na=fmtp:8 "
        + std::string(SipSessionDescription::kMaxFmtpLength + 1, 'k') + "\r\n";
    EXPECT_EQ(payloadsOf(justTooLong), "8:PCMA/8000/1 96:/0/0 ");
}

TEST(SipSessionDescription, AttributeValueParsers)
{
    struct RtpmapCase
    {
        const char *value;
        bool ok;
        int number, rate, channels;
        const char *name;
    } rtpmaps[] = {
        {"102 opus/48000/2", true, 102, 48000, 2, "opus"},
        {"0 PCMU/8000", true, 0, 8000, 0, "PCMU"},
        {"9  G722/8000 ", true, 9, 8000, 0, "G722"},
        {"128 PCMU/8000", false, 0, 0, 0, ""},
        {"2147483648 PCMU/8000", false, 0, 0, 0, ""},
        {"8 PCMA/99999999999", false, 0, 0, 0, ""},
        {"8 PCMA/8000/256", false, 0, 0, 0, ""},
        {"8 PCMA/8000/", false, 0, 0, 0, ""},
        {"8PCMA/8000", false, 0, 0, 0, ""},
        {"x PCMA/8000", false, 0, 0, 0, ""},
        {"8 PC MA/8000", false, 0, 0, 0, ""},
        {"", false, 0, 0, 0, ""},
    };
    for (const RtpmapCase &c : rtpmaps) {
        SCOPED_TRACE(c.value);
        int number = -5, rate = -5, channels = -5;
        char name[SipSessionDescription::kMaxNameLength + 1] = "";
        EXPECT_EQ(SipSessionDescription::parseRtpmap(c.value, &number, name, sizeof(name), &rate, &channels), c.ok);
        if (c.ok) {
            EXPECT_EQ(number, c.number);
            EXPECT_EQ(rate, c.rate);
            EXPECT_EQ(channels, c.channels);
            EXPECT_STREQ(name, c.name);
        } else {
            EXPECT_EQ(number, -5);
        }
    }
    // The caller's buffer bounds the name as well.
    int number = 0, rate = 0, channels = 0;
    char small[4];
    EXPECT_TRUE(SipSessionDescription::parseRtpmap("8 GSM/8000", &number, small, sizeof(small), &rate, &channels));
    EXPECT_FALSE(SipSessionDescription::parseRtpmap("8 PCMA/8000", &number, small, sizeof(small), &rate, &channels));

    char params[16];
    EXPECT_TRUE(SipSessionDescription::parseFmtp("101 0-15", &number, params, sizeof(params)));
    EXPECT_EQ(number, 101);
    EXPECT_STREQ(params, "0-15");
    EXPECT_TRUE(SipSessionDescription::parseFmtp("102 a=1; b=2", &number, params, sizeof(params)));
    EXPECT_STREQ(params, "a=1;");
    EXPECT_FALSE(SipSessionDescription::parseFmtp("102 0123456789abcdef", &number, params, sizeof(params)));
    EXPECT_FALSE(SipSessionDescription::parseFmtp("102", &number, params, sizeof(params)));
    EXPECT_FALSE(SipSessionDescription::parseFmtp("102 ", &number, params, sizeof(params)));
}

} // namespace
