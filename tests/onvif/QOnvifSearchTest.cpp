#include "QOnvif.h"
#include "QOnvifFakeCamera.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

namespace {

// A camera on loopback whose credentials hold characters XML and URLs
// reserve; searches probe it directly, with a short answer window.
class QOnvifSearchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        camera.setProfiles({{QStringLiteral("main&1"), QStringLiteral("Main"), QStringLiteral("rtsp://127.0.0.1:554/main")},
                            {QStringLiteral("sub"), QStringLiteral("Sub"), QStringLiteral("rtsp://127.0.0.1:554/sub?x=1&y=2")}});
        ASSERT_TRUE(camera.start());
        QOnvif::setProbeTarget(QHostAddress::LocalHost, camera.probePort());
        QOnvif::setProbeWindow(300);
    }
    void TearDown() override
    {
        QOnvif::setProbeTarget(QHostAddress(), 0);
        QOnvif::setProbeWindow(0);
        QOnvifDevice::setCallTimeout(0);
    }

    QVector<QOnvifDevice> search()
    {
        QVector<QOnvifDevice> found;
        QOnvif onvif;
        EXPECT_GE(onvif.search(QStringLiteral("127.0.0.1"), 3, [&](const QOnvifDevice &d) { found.append(d); }), 0)
            << onvif.errorString().toStdString();
        return found;
    }

    const QString user = QStringLiteral("ad<m>in");
    const QString password = QStringLiteral("p@ss:w/rd#?%&");
    QOnvifFakeCamera camera{user, password};
};

} // namespace

TEST_F(QOnvifSearchTest, FindsTheCameraAndReadsBothStreamAddresses)
{
    const QVector<QOnvifDevice> found = search();
    ASSERT_EQ(found.size(), 1);
    QOnvifDevice device = found[0];
    EXPECT_EQ(device.address(), camera.deviceAddress());
    EXPECT_EQ(device.endpoint(), camera.endpoint());

    device.setAuthentication(user, password);
    ASSERT_EQ(device.getInfo(), 0) << device.errorString().toStdString();
    EXPECT_EQ(device.information().model, "Test Camera");
    ASSERT_EQ(device.getCapabilities(), 0) << device.errorString().toStdString();
    ASSERT_EQ(device.getProfiles(), 0) << device.errorString().toStdString();
    ASSERT_EQ(device.profiles().size(), 2);
    for (QOnvifDeviceProfile &profile : device.profiles())
        ASSERT_EQ(device.getProfileMediaUri(profile), 0) << device.errorString().toStdString();
    EXPECT_EQ(device.profiles()[0].uri(), "rtsp://127.0.0.1:554/main");
    EXPECT_EQ(device.profiles()[1].uri(), "rtsp://127.0.0.1:554/sub?x=1&y=2");
    EXPECT_EQ(camera.actions(), QStringList({"GetDeviceInformation", "GetCapabilities", "GetProfiles", "GetStreamUri",
                                             "GetStreamUri"}));
}

TEST_F(QOnvifSearchTest, CameraAnsweringTwiceIsCalledBackOnce)
{
    camera.setProbeAnswers(2);
    EXPECT_EQ(search().size(), 1);
    EXPECT_EQ(camera.probesReceived(), 1);
}

TEST_F(QOnvifSearchTest, WrongPasswordGivesTheFaultAndNoProfiles)
{
    const QVector<QOnvifDevice> found = search();
    ASSERT_EQ(found.size(), 1);
    QOnvifDevice device = found[0];
    device.setAuthentication(user, QStringLiteral("wrong"));
    EXPECT_NE(device.getInfo(), 0);
    EXPECT_TRUE(device.errorString().contains("not authorized")) << device.errorString().toStdString();
    EXPECT_NE(device.getCapabilities(), 0);
    EXPECT_NE(device.getProfiles(), 0);
    EXPECT_TRUE(device.profiles().isEmpty());
}

TEST_F(QOnvifSearchTest, SilentOrFloodingCameraEndsWithinTheCallBound)
{
    QOnvifDevice device = search().value(0);
    device.setAuthentication(user, password);
    QOnvifDevice::setCallTimeout(400);

    camera.setSilent(true);
    QElapsedTimer timer;
    timer.start();
    EXPECT_NE(device.getInfo(), 0);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_FALSE(device.errorString().isEmpty());

    // A flood is cut at the size bound, not by the clock: the whole call
    // bound again, so a loaded machine still gets there first.
    QOnvifDevice::setCallTimeout(0);
    camera.setSilent(false);
    camera.setRawAnswer(QStringLiteral("GetCapabilities"), QByteArray(3 << 20, '<'));
    EXPECT_NE(device.getCapabilities(), 0);
    EXPECT_EQ(device.errorString(), "answer too large");
    EXPECT_TRUE(device.mediaAddress().isEmpty());
}

TEST_F(QOnvifSearchTest, NothingAnsweringEndsAfterTheWindow)
{
    camera.stop();
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(search().isEmpty());
    EXPECT_LT(timer.elapsed(), 3000);
}
