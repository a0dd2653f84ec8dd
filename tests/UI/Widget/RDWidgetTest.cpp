#include "RDDefaultFont.h"
#include "RDLabel.h"
#include "RDToast.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace {

QImage render(QWidget *widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

TEST(RDWidgetPaint, FreshWidgetIsTransparentAndBordersKeepToTheirRing)
{
    RDWidget widget;
    widget.resize(40, 30);
    const QImage fresh = render(&widget);
    for (int y = 0; y < fresh.height(); ++y)
        for (int x = 0; x < fresh.width(); ++x)
            ASSERT_EQ(qAlpha(fresh.pixel(x, y)), 0) << x << "," << y;

    // A 1 px outline is the widget's outermost ring of pixels, no more.
    widget.setBorder(0, 1, QColor(255, 0, 0));
    QImage outline = render(&widget);
    EXPECT_EQ(outline.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(outline.pixel(39, 29), qRgb(255, 0, 0));
    EXPECT_EQ(qAlpha(outline.pixel(38, 28)), 0);
    EXPECT_EQ(qAlpha(outline.pixel(20, 15)), 0);

    // A wider border is a ring: the middle stays clear, the fill shows through it.
    widget.setBorder(0, 3, QColor(255, 0, 0));
    widget.setBackgroundColor(QColor(0, 0, 255));
    QImage ring = render(&widget);
    EXPECT_EQ(ring.pixel(1, 15), qRgb(255, 0, 0));
    EXPECT_EQ(ring.pixel(20, 15), qRgb(0, 0, 255));
}

TEST(RDLabelTest, ClicksMarginsAndDisabledText)
{
    RDLabel label;
    label.setText(QStringLiteral("MMMM"));
    label.setTextColor(QColor(0, 0, 0));
    const QSize plain = label.sizeHint();
    label.setMargins(1, 2, 3, 4);
    EXPECT_EQ(label.margins(), QMargins(1, 2, 3, 4));
    EXPECT_EQ(label.sizeHint(), plain + QSize(4, 6));

    QSignalSpy clicked(&label, &RDLabel::clicked);
    QTest::mousePress(&label, Qt::RightButton);
    EXPECT_EQ(clicked.count(), 1);
    label.setEnabled(false);
    QTest::mousePress(&label, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);

    // Disabled text is grey, never the set colour.
    label.resize(label.sizeHint() + QSize(10, 10));
    const QImage image = render(&label);
    bool grey = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) == 255) {
                EXPECT_EQ(qRed(p), qGreen(p));
                EXPECT_GE(qRed(p), 90);
                grey = grey || qRed(p) == 102;
            }
        }
    }
    EXPECT_TRUE(grey);
}

TEST(RDToastTest, PlacementFollowsTheFlagOrder)
{
    const struct {
        Qt::Alignment alignment;
        QPoint expected;
    } cases[] = {
        {Qt::AlignHCenter | Qt::AlignBottom, {(300 - 60) / 2, 200 - 7 - 20}},
        {Qt::AlignLeft | Qt::AlignHCenter, {5, 7}},
        {Qt::AlignRight | Qt::AlignVCenter, {300 - 5 - 60, (200 - 20) / 2}},
        {Qt::AlignBottom | Qt::AlignTop, {5, 7}},
        {{}, {5, 7}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(RDToast::toastPosition(300, 200, 60, 20, c.alignment, 5, 7), c.expected) << int(c.alignment);
}

TEST(RDToastTest, HidesAfterTwoSecondsOrAClickAndAnOlderTimerHidesANewerToast)
{
    PaUiTest::ManualClock clock;
    RDToast toast;
    toast.resize(400, 300);
    toast.showToast(QStringLiteral("Saved"));
    ASSERT_NE(toast.toastLabel(), nullptr);
    RDLabel *label = toast.toastLabel();
    EXPECT_EQ(label->text(), QStringLiteral("Saved"));
    EXPECT_EQ(label->x(), (400 - label->width()) / 2);
    EXPECT_EQ(label->y(), 300 - 5 - label->height());
    clock.advance(1999);
    EXPECT_NE(toast.toastLabel(), nullptr);
    clock.advance(1);
    EXPECT_EQ(toast.toastLabel(), nullptr);

    toast.showToast(QStringLiteral("Clicked"));
    QTest::mousePress(toast.toastLabel(), Qt::LeftButton);
    clock.advance(9);
    EXPECT_NE(toast.toastLabel(), nullptr);
    clock.advance(1);
    EXPECT_EQ(toast.toastLabel(), nullptr);

    toast.showToast(QStringLiteral("first"));
    clock.advance(1500);
    toast.showToast(QStringLiteral("second"));
    EXPECT_EQ(toast.toastLabel()->text(), QStringLiteral("second"));
    clock.advance(500);
    EXPECT_EQ(toast.toastLabel(), nullptr);
}

TEST(WidgetStyle, ColumnWidthAndBackgroundBrush)
{
    RDLabel a, b, c;
    a.setText(QStringLiteral("a"));
    b.setText(QStringLiteral("a much longer caption"));
    c.setText(QStringLiteral("the longest caption of them all, by far"));
    // The walk stops at the first null widget.
    const int two = maxAdjustedWidth(&a, &b, nullptr, &c);
    EXPECT_EQ(two, b.width());
    EXPECT_GT(b.width(), a.width());
    EXPECT_EQ(c.width(), 640); // never adjusted
    const int three = maxAdjustedWidth(&a, &b, &c);
    EXPECT_EQ(three, c.width());
    EXPECT_GT(three, two);
    EXPECT_EQ(maxAdjustedWidth(nullptr), 0);

    QWidget w;
    setBackgroundBrush(&w, QColor(1, 2, 3));
    EXPECT_TRUE(w.autoFillBackground());
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        EXPECT_EQ(w.palette().color(group, QPalette::Window), QColor(1, 2, 3));

    RDLabel primary;
    applyPrimaryButtonStyle(&primary);
    EXPECT_EQ(primary.backgroundColor(), QColor(53, 141, 0));
    EXPECT_EQ(primary.textColor(), QColor(255, 255, 255));
    EXPECT_EQ(primary.cursor().shape(), Qt::PointingHandCursor);
}
