#include "RDDialogButton.h"
#include "RDLabel.h"
#include "RDModal.h"
#include "RDNetworkSelectDialog.h"
#include "RDScrollArea.h"
#include "RDVerticalTabStyle.h"
#include "RDWidget.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTest>

namespace {

RDNetworkAdapter adapter(const char *name, const char *ip, const char *mask, const char *gateway)
{
    RDNetworkAdapter a;
    a.name = QLatin1String(name);
    a.description = QStringLiteral("Card %1").arg(QLatin1String(name));
    a.ip = QLatin1String(ip);
    a.netmask = QLatin1String(mask);
    a.gateway = QLatin1String(gateway);
    return a;
}

} // namespace

TEST(RDNetworkSelectDialogTest, SelectsByAddressAndNetmaskElseThePreferredAddress)
{
    RDNetworkSelectDialog dialog;
    EXPECT_EQ(dialog.size(), QSize(400, 210));
    // Nothing listed: nothing selected, an empty adapter back.
    dialog.selectNetwork(QStringLiteral("10.0.0.2"), QStringLiteral("255.0.0.0"));
    EXPECT_TRUE(dialog.currentNetwork().ip.isEmpty());
    EXPECT_TRUE(dialog.currentNetwork().name.isEmpty());

    // eth0 carries a public address first and a private one second.
    dialog.setNetworks({adapter("eth0", "8.8.4.4", "255.255.255.0", "8.8.4.1"),
                        adapter("eth0", "192.168.1.20", "255.255.255.0", "192.168.1.1"),
                        adapter("eth1", "10.1.2.3", "255.255.0.0", ""),
                        adapter("eth2", "10.1.2.3", "255.0.0.0", "")});
    ASSERT_EQ(dialog.comboBox()->count(), 4);
    EXPECT_EQ(dialog.comboBox()->itemText(1), QStringLiteral("Card eth0 192.168.1.20"));

    const struct {
        const char *ip;
        const char *mask;
        int row;
    } cases[] = {
        {"10.1.2.3", "255.0.0.0", 3},   // same address, told apart by the netmask
        {"10.1.2.3", "255.255.0.0", 2},
        {"172.16.0.9", "255.255.0.0", 1}, // unknown: the preferred private address with a gateway
        {"", "", 1},
    };
    for (const auto &c : cases) {
        dialog.comboBox()->setCurrentIndex(0);
        dialog.selectNetwork(QLatin1String(c.ip), QLatin1String(c.mask));
        EXPECT_EQ(dialog.comboBox()->currentIndex(), c.row) << c.ip << "/" << c.mask;
    }
    EXPECT_EQ(dialog.currentNetwork().ip, QStringLiteral("192.168.1.20"));
    EXPECT_EQ(dialog.currentNetwork().gateway, QStringLiteral("192.168.1.1"));
}

TEST(RDNetworkSelectDialogTest, OkAcceptsCloseRejectsAndTheLayoutStacks)
{
    const struct {
        const char *button;
        int result;
    } cases[] = {{"okButton", QDialog::Accepted}, {"close", QDialog::Rejected}};
    for (const auto &c : cases) {
        RDNetworkSelectDialog dialog;
        dialog.show();
        // Body 398x174: prompt, combo 20 px below it, OK centred 20 px below that.
        EXPECT_EQ(dialog.comboBox()->geometry(), QRect(20, 10 + 29 + 20, 358, 25));
        EXPECT_EQ(dialog.okButton()->geometry(), QRect((398 - 120) / 2, 59 + 24 + 20, 120, 25));
        RDModal::Answer run;
        run.kind = QStringLiteral("dialog:RDNetworkSelectDialog");
        run.realExec = true;
        const QString name = QLatin1String(c.button);
        run.action = [name](QObject *d) {
            QTest::mouseClick(static_cast<QWidget *>(d)->findChild<QWidget *>(name), Qt::LeftButton);
        };
        RDModal::queue(run);
        EXPECT_EQ(dialog.exec(), c.result) << c.button;
    }
}

TEST(RDVerticalTabStyleTest, EveryTabIsNinetyByFortyFourAndOnlyTheSelectedOneIsFilled)
{
    RDVerticalTabStyle style;
    QTabBar bar;
    bar.setStyle(&style);
    bar.setShape(QTabBar::RoundedWest);
    bar.setExpanding(false);
    bar.addTab(QStringLiteral("Schedule"));
    bar.addTab(QStringLiteral("A much longer tab caption"));
    bar.addTab(QString());
    for (int i = 0; i < bar.count(); ++i)
        EXPECT_EQ(bar.tabRect(i).size(), QSize(90, 44)) << i;

    QStyleOptionTab option;
    option.rect = QRect(0, 0, 90, 44);
    option.text = QStringLiteral("Tab");
    for (bool selected : {true, false}) {
        option.state = selected ? QStyle::State_Selected : QStyle::State_None;
        QImage image(90, 44, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        style.drawControl(QStyle::CE_TabBarTabLabel, &option, &painter);
        painter.end();
        // The inner block is green when selected, left clear otherwise.
        EXPECT_EQ(image.pixel(8, 8), selected ? qRgb(53, 141, 0) : qRgba(0, 0, 0, 0)) << selected;
        EXPECT_EQ(qAlpha(image.pixel(2, 2)), 0) << selected;
    }
    // Other elements are not drawn at all.
    QImage untouched(20, 20, QImage::Format_ARGB32);
    untouched.fill(Qt::transparent);
    QPainter painter(&untouched);
    QStyleOption plain;
    plain.rect = QRect(0, 0, 20, 20);
    style.drawControl(QStyle::CE_PushButton, &plain, &painter);
    style.drawControl(QStyle::CE_TabBarTabLabel, &plain, &painter);
    painter.end();
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(qAlpha(untouched.pixel(x, y)), 0);
}

TEST(RDScrollAreaTest, FramelessWithAPaintableViewport)
{
    RDScrollArea area;
    EXPECT_EQ(area.frameStyle(), 0);
    EXPECT_FALSE(area.widgetResizable());
    ASSERT_NE(area.viewportWidget(), nullptr);
    area.setBackgroundColor(QColor(10, 20, 30));
    EXPECT_EQ(area.viewportWidget()->backgroundColor(), QColor(10, 20, 30));
}
