#include "RtpPeer.h"
#include "SwitchMedia.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const MediaCodec kOpus{"opus", 102, 48000, 2, ""};
const MediaCodec kG722{"G722", 9, 8000, 1, ""};
const MediaCodec kPcmu{"PCMU", 0, 8000, 1, ""};
const MediaCodec kPcma{"PCMA", 8, 8000, 1, ""};

// Peak amplitude of the `hz` component of `pcm` (Goertzel) over its last
// `windowMs`: what arrived first may still be from before the change under
// test (packets queued at the peer, frames in flight). Not a number, so
// that every comparison fails, when `pcm` is shorter than the window.
double toneLevel(const std::vector<int16_t> &pcm, int rate, double hz, int windowMs = 300)
{
    const size_t n = static_cast<size_t>(rate) * windowMs / 1000;
    if (pcm.size() < n || n == 0) {
        return std::nan("");
    }
    const size_t first = pcm.size() - n;
    const double w = 2 * 3.14159265358979 * hz / rate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = first; i < pcm.size(); ++i) {
        const double s0 = pcm[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2 * std::sqrt(std::max(0.0, power)) / n;
}

// A 16-bit mono WAV of a sine tone.
bool writeToneWav(const std::string &path, int rate, int ms, double hz, int amplitude)
{
    std::vector<int16_t> pcm(static_cast<size_t>(rate) * ms / 1000);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(std::lrint(amplitude * std::sin(2 * 3.14159265358979 * hz * i / rate)));
    return PaTest::writeWav(QString::fromStdString(path), pcm, rate);
}

class SwitchMediaTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/switch-media-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        // A range of its own per process; ports taken by others are skipped.
        const int base = 20000 + static_cast<int>(getpid() % 2000) * 8;
        m_media = std::make_unique<SwitchMedia>("127.0.0.1", base, base + 199);
    }
    void TearDown() override
    {
        m_media.reset();
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    // A started leg of `conference` whose far end is `peer`.
    bool join(const std::string &uuid, const std::string &conference, RtpPeer &peer, const MediaCodec &codec)
    {
        const int port = peer.isOpen() ? m_media->openLeg(uuid) : -1;
        peer.sendTo(port);
        return port > 0 && m_media->startLeg(uuid, conference, codec, "127.0.0.1", peer.port());
    }

    std::string m_dir;
    std::unique_ptr<SwitchMedia> m_media;
};

TEST_F(SwitchMediaTest, StartedLegSendsItsCodecEveryFrameEvenInSilence)
{
    for (const MediaCodec &codec : {kPcmu, kPcma, kG722, kOpus}) {
        SCOPED_TRACE(codec.name);
        RtpPeer peer(codec);
        const std::string uuid = "leg-" + codec.name;
        ASSERT_TRUE(join(uuid, "3001", peer, codec));
        std::vector<RtpPeer::Received> packets;
        const std::vector<int16_t> audio = peer.capture(500, &packets);
        // 50 packets a second, nothing heard: silence, every 20 ms.
        ASSERT_GE(packets.size(), 20u);
        for (size_t i = 1; i < packets.size(); ++i) {
            EXPECT_EQ(packets[i].payloadType, codec.payloadType);
            EXPECT_EQ(static_cast<uint16_t>(packets[i].sequence - packets[i - 1].sequence), 1);
            EXPECT_EQ(packets[i].timestamp - packets[i - 1].timestamp, static_cast<uint32_t>(codec.clockRate / 50));
        }
        EXPECT_EQ(audio.size(), packets.size() * peer.pcmRate() / 50);
        EXPECT_LT(toneLevel(audio, peer.pcmRate(), 1000, 400), 50);
        m_media->closeLeg(uuid);
        EXPECT_EQ(m_media->legPort(uuid), -1);
    }
}

TEST_F(SwitchMediaTest, ToneReachesTheOtherMemberAcrossCodecsButNeverEchoes)
{
    const struct
    {
        MediaCodec from, to;
    } cases[] = {{kPcmu, kOpus}, {kOpus, kG722}, {kG722, kPcma}, {kPcma, kPcmu}};
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.from.name + " -> " + c.to.name);
        const std::string conference = "31" + std::to_string(n++);
        RtpPeer speaker(c.from), listener(c.to);
        ASSERT_TRUE(join(conference + "a", conference, speaker, c.from));
        ASSERT_TRUE(join(conference + "b", conference, listener, c.to));
        speaker.startTone(1000, 8000);
        std::vector<int16_t> heard;
        std::thread other([&] { heard = listener.capture(600); });
        const std::vector<int16_t> echo = speaker.capture(600);
        other.join();
        speaker.stopTone();
        const double level = toneLevel(heard, listener.pcmRate(), 1000);
        EXPECT_GT(level, 8000 * 0.7);
        EXPECT_LT(level, 8000 * 1.3);
        EXPECT_LT(toneLevel(echo, speaker.pcmRate(), 1000), 8000 * 0.02);
        m_media->closeLeg(conference + "a");
        m_media->closeLeg(conference + "b");
    }
}

TEST_F(SwitchMediaTest, MutedMemberIsNotHeardButHearsTheOthers)
{
    RtpPeer muted(kPcmu), speaker(kOpus), listener(kPcmu);
    ASSERT_TRUE(muted.isOpen());
    const int mutedPort = m_media->openLeg("m");
    ASSERT_GT(mutedPort, 0);
    muted.sendTo(mutedPort);
    ASSERT_TRUE(m_media->setLegMuted("m", true));
    ASSERT_TRUE(m_media->startLeg("m", "3200", kPcmu, "127.0.0.1", muted.port()));
    ASSERT_TRUE(join("s", "3200", speaker, kOpus));
    ASSERT_TRUE(join("l", "3200", listener, kPcmu));
    muted.startTone(700, 8000);
    speaker.startTone(1200, 6000);
    std::vector<int16_t> atMuted;
    std::thread other([&] { atMuted = muted.capture(600); });
    const std::vector<int16_t> atListener = listener.capture(600);
    other.join();
    muted.stopTone();
    speaker.stopTone();
    EXPECT_LT(toneLevel(atListener, 8000, 700), 8000 * 0.02);
    EXPECT_GT(toneLevel(atListener, 8000, 1200), 6000 * 0.7);
    EXPECT_GT(toneLevel(atMuted, 8000, 1200), 6000 * 0.7);
}

// A leg's port is reachable by anyone on the network: audio sent to it by a
// stranger never reaches the conference, with or without the member talking.
TEST_F(SwitchMediaTest, StrangerSendingToALegPortIsNotHeard)
{
    RtpPeer speaker(kOpus), listener(kPcmu), stranger(kOpus);
    ASSERT_TRUE(stranger.isOpen());
    ASSERT_TRUE(join("s", "3300", speaker, kOpus));
    ASSERT_TRUE(join("l", "3300", listener, kPcmu));
    speaker.startTone(1200, 6000);
    // The member is heard before the stranger starts (a leg whose peer has
    // not spoken yet takes the first source: a member behind NAT).
    ASSERT_GT(toneLevel(listener.capture(400), 8000, 1200, 200), 6000 * 0.7);
    stranger.sendTo(m_media->legPort("s"));
    stranger.startTone(700, 16000);
    const std::vector<int16_t> both = listener.capture(600);
    speaker.stopTone();
    listener.capture(100); // what the member sent last drains out
    const std::vector<int16_t> strangerOnly = listener.capture(600);
    stranger.stopTone();
    EXPECT_GT(toneLevel(both, 8000, 1200), 6000 * 0.7);
    EXPECT_LT(toneLevel(both, 8000, 700), 16000 * 0.02);
    EXPECT_LT(toneLevel(strangerOnly, 8000, 700), 16000 * 0.02);
    EXPECT_LT(toneLevel(strangerOnly, 8000, 1200), 6000 * 0.02);
}

TEST_F(SwitchMediaTest, FileReachesEveryMemberAtTheFileLevel)
{
    const std::string wav = m_dir + "/tone.wav";
    ASSERT_TRUE(writeToneWav(wav, 44100, 5000, 800, 4000));
    RtpPeer a(kPcma), b(kOpus);
    ASSERT_TRUE(join("a", "3300", a, kPcma));
    ASSERT_TRUE(m_media->openLeg("b") > 0);
    ASSERT_TRUE(m_media->setLegMuted("b", true));
    ASSERT_TRUE(m_media->startLeg("b", "3300", kOpus, "127.0.0.1", b.port()));
    std::string error;
    ASSERT_TRUE(m_media->play("3300", wav, &error)) << error;

    // Both members hear the same file, each in its own codec.
    auto levels = [&](double *atA, double *atB) {
        // First read away what waited in the sockets from before the change
        // (silence from before the file, or the old level): a loaded
        // machine can leave a good part of a second of it queued.
        std::thread drain([&] { b.capture(200); });
        a.capture(200);
        drain.join();
        std::vector<int16_t> heardB;
        std::thread other([&] { heardB = b.capture(500); });
        const std::vector<int16_t> heardA = a.capture(500);
        other.join();
        *atA = toneLevel(heardA, a.pcmRate(), 800);
        *atB = toneLevel(heardB, b.pcmRate(), 800);
    };
    double a0, b0, a2, b2, aOff, bOff;
    levels(&a0, &b0);
    ASSERT_TRUE(m_media->setFileVolume("3300", 2));
    levels(&a2, &b2);
    ASSERT_TRUE(m_media->setFileVolume("3300", -13));
    levels(&aOff, &bOff);

    EXPECT_GT(a0, 4000 * 0.8);
    EXPECT_LT(a0, 4000 * 1.2);
    EXPECT_GT(b0, 4000 * 0.8);
    EXPECT_LT(b0, 4000 * 1.2);
    // Two steps of 3 dB: twice the amplitude.
    EXPECT_NEAR(a2 / a0, 2.0, 0.2);
    EXPECT_NEAR(b2 / b0, 2.0, 0.2);
    EXPECT_LT(aOff, 4000 * 0.01);
    EXPECT_LT(bOff, 4000 * 0.01);
    EXPECT_FALSE(m_media->setFileVolume("3300", 14));
    EXPECT_FALSE(m_media->setFileVolume("no such conference", 0));
}

TEST_F(SwitchMediaTest, PlayStatusFollowsTheFileToItsEnd)
{
    const std::string wav = m_dir + "/short.wav";
    ASSERT_TRUE(writeToneWav(wav, 16000, 300, 500, 3000));
    std::string text, error;
    EXPECT_FALSE(m_media->playStatus("3400", &text));
    EXPECT_EQ(text, "not playing");

    // No member needed: the file plays in real time all the same.
    ASSERT_TRUE(m_media->play("3400", wav, &error)) << error;
    ASSERT_TRUE(m_media->playStatus("3400", &text));
    EXPECT_EQ(text.rfind(wav + " ", 0), 0u) << text;
    EXPECT_NE(text.find("/300"), std::string::npos) << text;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (m_media->playStatus("3400", &text) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_FALSE(m_media->playStatus("3400", &text));
    EXPECT_EQ(text, "not playing");

    // Stopping ends it at once; a second stop finds nothing.
    ASSERT_TRUE(m_media->play("3400", wav, &error));
    EXPECT_TRUE(m_media->stopPlay("3400"));
    EXPECT_FALSE(m_media->playStatus("3400", &text));
    EXPECT_FALSE(m_media->stopPlay("3400"));

    // Files that cannot play are refused with a reason.
    const std::string text_file = m_dir + "/notes.txt";
    std::ofstream(text_file) << "<xml>not audio</xml>\n";
    for (const std::string &bad : {m_dir + "/missing.wav", text_file}) {
        error.clear();
        EXPECT_FALSE(m_media->play("3400", bad, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(m_media->playStatus("3400", &text));
}

TEST_F(SwitchMediaTest, FileNamesAreNeverReadAsProtocols)
{
    // Relative names that FFmpeg would otherwise take for its pipe and
    // concatenation protocols.
    ASSERT_TRUE(writeToneWav(m_dir + "/pipe:0", 16000, 2000, 500, 3000));
    ASSERT_TRUE(writeToneWav(m_dir + "/concat:x", 16000, 2000, 500, 3000));
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(chdir(m_dir.c_str()), 0);
    std::string error, text;
    const bool pipePlays = m_media->play("3600", "pipe:0", &error);
    const bool concatPlays = m_media->play("3601", "concat:x", &error);
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_TRUE(pipePlays) << error;
    EXPECT_TRUE(concatPlays) << error;
    EXPECT_TRUE(m_media->playStatus("3600", &text));
    EXPECT_EQ(text.rfind("pipe:0 ", 0), 0u) << text;
}

TEST_F(SwitchMediaTest, PortsComeFromTheRangeUntilItIsSpent)
{
    // Four ports: two legs (each an even port and the one above).
    const int base = 21000 + static_cast<int>(getpid() % 1000) * 16;
    SwitchMedia media("127.0.0.1", base + 1, base + 5); // odd start: first even port is base + 2
    const int first = media.openLeg("x");
    const int second = media.openLeg("y");
    ASSERT_GT(first, 0) << "ports in use";
    ASSERT_GT(second, 0) << "ports in use";
    EXPECT_EQ(first % 2, 0);
    EXPECT_EQ(second % 2, 0);
    EXPECT_NE(first, second);
    EXPECT_GE(std::min(first, second), base + 2);
    EXPECT_LE(std::max(first, second) + 1, base + 5);
    EXPECT_EQ(media.openLeg("z"), -1);
    EXPECT_EQ(media.openLeg("x"), -1); // one port per leg
    media.closeLeg("x");
    EXPECT_EQ(media.openLeg("z"), first);
    // A leg never opened cannot start.
    EXPECT_FALSE(media.startLeg("nobody", "1", kPcmu, "127.0.0.1", 4000));
    // Nor can one with a codec the switch does not code or a bad address.
    EXPECT_FALSE(media.startLeg("z", "1", MediaCodec{"H264", 96, 90000, 1, ""}, "127.0.0.1", 4000));
    EXPECT_FALSE(media.startLeg("z", "1", kPcmu, "not-an-address", 4000));
}

TEST_F(SwitchMediaTest, PagingSendsTheMixAsMuLawToTheGivenPort)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
    socklen_t len = sizeof(addr);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);

    const std::string wav = m_dir + "/page.wav";
    ASSERT_TRUE(writeToneWav(wav, 8000, 2000, 1000, 5000));
    std::string error;
    ASSERT_TRUE(m_media->play("3500", wav, &error)) << error;
    ASSERT_TRUE(m_media->startPage("3500", "127.0.0.1", ntohs(addr.sin_port)));
    EXPECT_FALSE(m_media->startPage("3500", "not-an-address", 5000));

    std::vector<int16_t> audio;
    int packets = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (packets < 25 && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) {
            break;
        }
        uint8_t buf[2048];
        const ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
        RtpPacket packet;
        ASSERT_TRUE(packet.parse(buf, static_cast<int>(n)));
        EXPECT_EQ(packet.payloadType(), 0);
        EXPECT_EQ(packet.payloadLength(), 160);
        // mu-law expansion, independent of the switch's tables.
        for (int i = 0; i < packet.payloadLength(); ++i) {
            const uint8_t u = ~packet.payload()[i];
            const int t = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
            audio.push_back(static_cast<int16_t>((u & 0x80) ? 0x84 - t : t - 0x84));
        }
        ++packets;
    }
    ::close(fd);
    EXPECT_EQ(packets, 25);
    EXPECT_NEAR(toneLevel(audio, 8000, 1000), 5000, 500);
    m_media->stopPage("3500");
}

} // namespace
