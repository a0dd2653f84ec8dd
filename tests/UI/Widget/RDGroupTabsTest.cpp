#include "RDGroup.h"
#include "RDGroupRTPWidget.h"
#include "RDGroupSIPTrunkWidget.h"
#include "RDLabel.h"
#include "RDPixmapButton.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList g_opened;

void recordOpen(const QString &url)
{
    g_opened.append(url);
}

} // namespace

TEST(RDGroupSIPTrunkWidget, DisabledTrunkGreysItsControlsAndKeepsTheTexts)
{
    RDGroup zone;
    zone.sipTrunkEnable = 0;
    zone.sipTrunkServer = QStringLiteral("sip.carrier.example");
    zone.sipTrunkPassword = QStringLiteral("p ä\"ss");
    RDGroupSIPTrunkWidget tab;
    QSignalSpy refresh(&tab, &RDGroupSIPTrunkWidget::requestRefresh);
    tab.setGroup(zone);
    EXPECT_EQ(refresh.count(), 1);

    EXPECT_TRUE(tab.enableBox()->isEnabled());
    EXPECT_FALSE(tab.refreshButton()->isEnabled());
    EXPECT_FALSE(tab.statusValue()->isEnabled());
    for (int f = 0; f < RDGroupSIPTrunkWidget::FieldCount; ++f)
        EXPECT_FALSE(tab.edit(RDGroupSIPTrunkWidget::Field(f))->isEnabled()) << f;
    EXPECT_EQ(tab.edit(RDGroupSIPTrunkWidget::Server)->text(), zone.sipTrunkServer);
    // Shown as typed, not masked.
    EXPECT_EQ(tab.edit(RDGroupSIPTrunkWidget::Password)->echoMode(), QLineEdit::Normal);

    tab.enableBox()->setChecked(true);
    EXPECT_TRUE(tab.edit(RDGroupSIPTrunkWidget::Expire)->isEnabled());
    EXPECT_TRUE(tab.refreshButton()->isEnabled());
    tab.show();
    QTest::mouseClick(tab.refreshButton(), Qt::LeftButton);
    EXPECT_EQ(refresh.count(), 2);
    RDGroup read;
    tab.getGroup(read);
    EXPECT_EQ(read.sipTrunkEnable, 1);
    EXPECT_EQ(read.sipTrunkPassword, zone.sipTrunkPassword);
}

TEST(RDGroupSIPTrunkWidget, RegistrationStateInWords)
{
    const struct
    {
        const char *state;
        const char *shown;
    } cases[] = {
        {"registered", "Registered"}, {"REGISTER FAIL", "Register Failure"}, {"Registering", "Registering"},
        {"REGED", ""},                {"", ""},
    };
    RDGroupSIPTrunkWidget tab;
    tab.resize(500, 400);
    for (const auto &c : cases) {
        // From a shown state, so that clearing is seen too.
        tab.setRegStatus(QStringLiteral("registered"));
        tab.setRegStatus(QLatin1String(c.state));
        EXPECT_EQ(tab.statusValue()->text(), QLatin1String(c.shown)) << c.state;
        // The refresh button follows the value.
        EXPECT_EQ(tab.refreshButton()->x(), tab.statusValue()->geometry().right() + 10) << c.state;
    }
}

TEST(RDGroupRTPWidget, StreamAddressAndOutputsFollowTheirBoxes)
{
    RDGroupRTPWidget::setUrlOpenerForTesting(&recordOpen);
    g_opened.clear();
    RDGroup zone;
    zone.conference = QStringLiteral("3001");
    zone.rtpEnable = 0;
    zone.rtpUrl = QStringLiteral("239.255.0.0:5008");
    zone.httpOutputEnable = 0;
    RDGroupRTPWidget tab;
    tab.resize(500, 300);
    tab.show();
    tab.setGroup(zone, QStringLiteral("192.168.1.10"), 9391);
    EXPECT_EQ(tab.streamLabel()->text(), QStringLiteral("http://192.168.1.10:9391/stream/3001"));
    EXPECT_FALSE(tab.addressEdit()->isEnabled());
    EXPECT_EQ(tab.addressEdit()->text(), zone.rtpUrl);
    EXPECT_FALSE(tab.streamLabel()->isEnabled());
    QTest::mouseClick(tab.streamLabel(), Qt::LeftButton);
    EXPECT_TRUE(g_opened.isEmpty());

    tab.httpBox()->setChecked(true);
    tab.rtpBox()->setChecked(true);
    EXPECT_TRUE(tab.addressEdit()->isEnabled());
    QTest::mouseClick(tab.streamLabel(), Qt::LeftButton);
    EXPECT_EQ(g_opened, QStringList{QStringLiteral("http://192.168.1.10:9391/stream/3001")});
    RDGroup read;
    tab.getGroup(read);
    EXPECT_EQ(read.rtpEnable, 1);
    EXPECT_EQ(read.httpOutputEnable, 1);
    EXPECT_EQ(read.rtpUrl, zone.rtpUrl);
    RDGroupRTPWidget::setUrlOpenerForTesting(nullptr);
}
