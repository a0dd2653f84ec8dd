#include "RDDeviceItemAddWidget.h"
#include "RDDeviceItemWidget.h"
#include "RDDeviceWidget.h"
#include "RDLabel.h"
#include "RDPixmapButton.h"
#include "RDPixmapWidget.h"
#include "RDWidget.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

namespace {

RDDevice device(int id, const char *number, const char *status = "none")
{
    RDDevice d;
    d.id = id;
    d.number = QLatin1String(number);
    d.name = QStringLiteral("Dev ") + d.number;
    d.password = QStringLiteral("pw");
    d.status = QLatin1String(status);
    return d;
}

QVector<RDDevice> threeDevices()
{
    return {device(1, "6000"), device(2, "6001"), device(3, "6002")};
}

QStringList numbers(const QVector<RDDevice> &devices)
{
    QStringList list;
    for (const RDDevice &d : devices)
        list << d.number;
    return list;
}


} // namespace

TEST(RDDeviceWidget, LaysOutTilesInColumnsThatFollowTheWidth)
{
    const struct { int width, devices, columns; QPoint last, add; } cases[] = {
        {830, 0, 5, {}, {5, 5}},           // empty: only the New Device tile
        {830, 4, 5, {500, 5}, {665, 5}},   // x + 325 < 830: the fifth still fits on row one
        {830, 5, 5, {665, 5}, {5, 100}},
        {500, 3, 3, {335, 5}, {5, 100}},
        {100, 2, 1, {5, 100}, {5, 195}},   // less than one column still lays out one
    };
    for (const auto &c : cases) {
        RDDeviceWidget grid;
        grid.resize(c.width, 400);
        QVector<RDDevice> devices;
        for (int i = 0; i < c.devices; ++i)
            devices << device(i + 1, qPrintable(QString::number(6000 + i)));
        grid.setDevices(devices);
        SCOPED_TRACE(c.width);
        EXPECT_EQ(grid.items().size(), c.devices);
        EXPECT_EQ(grid.columns(), std::max(1, (c.width - 5) / 165));
        if (c.devices > 0) {
            EXPECT_EQ(grid.items().last()->geometry(), QRect(c.last, QSize(160, 90)));
        }
        EXPECT_EQ(grid.addWidget()->geometry(), QRect(c.add, QSize(160, 90)));
        EXPECT_GE(grid.content()->height(), grid.addWidget()->geometry().bottom());
    }
}

TEST(RDDeviceWidget, NewDeviceTileIsBlankUntilSetAndDefaultsForEmptyTexts)
{
    RDDeviceWidget grid;
    EXPECT_TRUE(grid.addWidget()->iconWidget()->pixmap().isNull());
    EXPECT_TRUE(grid.addWidget()->textLabel()->text().isEmpty());
    grid.setNewDeviceItem(QString(), QString());
    EXPECT_FALSE(grid.addWidget()->iconWidget()->pixmap().isNull());
    EXPECT_EQ(grid.addWidget()->textLabel()->text(), QStringLiteral("New Device"));
}

// The selection belongs to devices: after a filter the tile position of a
// selected device shows another device, which must not look selected.
TEST(RDDeviceWidget, SelectionFollowsDevicesNotTilePositions)
{
    RDDeviceWidget grid;
    grid.resize(830, 400);
    grid.setDevices(threeDevices());
    grid.items()[1]->setSelected(true);
    ASSERT_EQ(numbers(grid.selectedDevices()), QStringList{"6001"});

    grid.setDevices({device(3, "6002")});
    EXPECT_FALSE(grid.items()[0]->isSelected());
    EXPECT_FALSE(grid.hasSelectedDevices());
    // Still picked while hidden, and shown selected again when it comes back.
    EXPECT_EQ(numbers(grid.selectedDevices()), QStringList{"6001"});
    grid.setDevices(threeDevices());
    EXPECT_TRUE(grid.itemOf(2)->isSelected());
    EXPECT_FALSE(grid.itemOf(1)->isSelected());

    // Select all acts on what is shown; a removed device leaves the selection.
    grid.setDevices({device(1, "6000")});
    grid.setAllSelected(true);
    grid.setDevices(threeDevices());
    EXPECT_EQ(numbers(grid.selectedDevices()), (QStringList{"6000", "6001"}));
    grid.removeDevice(device(2, "6001"));
    EXPECT_EQ(numbers(grid.selectedDevices()), QStringList{"6000"});
    EXPECT_EQ(grid.items().size(), 2);
    EXPECT_EQ(grid.itemOf(3)->geometry().topLeft(), QPoint(170, 5));
}

TEST(RDDeviceWidget, UpdatesKeepListAndTilesInStep)
{
    RDDeviceWidget grid;
    grid.setDevices(threeDevices());
    RDDevice renamed = device(2, "6001");
    renamed.name = QStringLiteral("Gate");
    grid.updateDevice(renamed);
    EXPECT_EQ(grid.itemOf(2)->device().name, QStringLiteral("Gate"));
    EXPECT_EQ(grid.devices()[1].name, QStringLiteral("Gate"));
    grid.updateDevice(device(99, "6099")); // unknown id: nothing happens
    EXPECT_EQ(grid.devices().size(), 3);

    grid.addDevice(device(4, "5000"));
    EXPECT_EQ(numbers(grid.devices()), (QStringList{"5000", "6000", "6001", "6002"}));
    EXPECT_EQ(grid.items()[0]->device().id, 4);

    // A device missing from a status list is "none"; names stay.
    grid.updateDeviceStatus({device(1, "x", "calling"), device(3, "y", "online")});
    const char *expected[] = {"none", "calling", "none", "online"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(grid.devices()[i].status, QLatin1String(expected[i])) << i;
        EXPECT_EQ(grid.items()[i]->device().status, QLatin1String(expected[i])) << i;
    }
    EXPECT_EQ(grid.itemOf(1)->device().name, QStringLiteral("Dev 6000"));
}

TEST(RDDeviceItemWidget, PaintsStatusColourAndSelectionMark)
{
    const struct { const char *status; QRgb tile; } cases[] = {
        {"none", qRgb(170, 170, 170)}, {"online", qRgb(100, 149, 237)}, {"calling", qRgb(100, 149, 237)},
    };
    for (const auto &c : cases) {
        RDDeviceItemWidget tile;
        tile.resize(160, 90);
        tile.setDevice(device(1, "6000", c.status));
        QImage image(tile.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        tile.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        EXPECT_EQ(image.pixel(80, 8), c.tile) << c.status;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "rounded corner";
        EXPECT_NE(image.pixel(130, 80), c.tile) << "button band";
        EXPECT_EQ(image.pixel(134, 14), c.tile) << c.status;
        tile.setSelected(true);
        tile.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        EXPECT_EQ(image.pixel(134, 14), qRgb(255, 255, 255)) << c.status;
    }
}

TEST(RDDeviceWidget, ClicksReportTilesAndButtonsAfterTheEventUnlessDisabled)
{
    RDDeviceWidget grid;
    grid.resize(830, 400);
    grid.setDevices(threeDevices());
    grid.show();
    RDDeviceItemWidget *tile = grid.items()[1];
    QSignalSpy left(&grid, &RDDeviceWidget::clickItemWidget);
    QSignalSpy right(&grid, &RDDeviceWidget::rightClickItemWidget);
    QSignalSpy edit(&grid, &RDDeviceWidget::clickItemEdit);
    QSignalSpy remove(&grid, &RDDeviceWidget::clickItemDelete);
    QSignalSpy call(&grid, &RDDeviceWidget::clickItemCall);
    QSignalSpy add(&grid, &RDDeviceWidget::clickNewDevice);

    // The band of the buttons selects nothing.
    PaUiTest::click(tile, Qt::LeftButton, QPoint(80, 80));
    PaUiTest::click(tile, Qt::RightButton, QPoint(80, 75));
    EXPECT_EQ(left.count() + right.count(), 0);
    PaUiTest::click(tile, Qt::LeftButton, QPoint(80, 30));
    PaUiTest::click(tile, Qt::RightButton, QPoint(20, 50));
    ASSERT_EQ(left.count(), 1);
    ASSERT_EQ(right.count(), 1);
    EXPECT_EQ(left[0][0].value<RDDeviceItemWidget *>(), tile);
    EXPECT_EQ(left[0][1].toPoint(), tile->mapTo(&grid, QPoint(80, 30)));

    // A button reports once the mouse event has returned.
    PaUiTest::click(tile->editButton(), Qt::LeftButton, QPoint(5, 5));
    PaUiTest::click(tile->deleteButton(), Qt::LeftButton, QPoint(5, 5));
    PaUiTest::click(tile->callButton(), Qt::LeftButton, QPoint(5, 5));
    EXPECT_EQ(edit.count() + remove.count() + call.count(), 0);
    EXPECT_TRUE(PaTest::waitUntil([&] { QCoreApplication::processEvents(); return call.count() == 1; }, 5000));
    EXPECT_EQ(edit.count(), 1);
    EXPECT_EQ(remove.count(), 1);
    PaUiTest::click(grid.addWidget(), Qt::LeftButton, QPoint(10, 10));
    EXPECT_TRUE(add.wait(5000));

    grid.setNewDeviceEnabled(false);
    PaUiTest::click(tile, Qt::LeftButton, QPoint(80, 30));
    PaUiTest::click(tile, Qt::RightButton, QPoint(80, 30));
    PaUiTest::click(tile->editButton(), Qt::LeftButton, QPoint(5, 5));
    PaUiTest::click(grid.addWidget(), Qt::LeftButton, QPoint(10, 10));
    QTest::qWait(50);
    EXPECT_EQ(left.count(), 1);
    EXPECT_EQ(right.count(), 1);
    EXPECT_EQ(edit.count(), 1);
    EXPECT_EQ(add.count(), 1);
}
