#include "RDProgress.h"
#include "RDSlider.h"
#include "RDSliderThumb.h"
#include "SwitchControl.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QImage>
#include <QWheelEvent>

namespace {

void wheel(QWidget *w, int dy, int dx = 0)
{
    QWheelEvent event(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(dx, dy), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

void paint(QWidget *w)
{
    QImage image(w->size(), QImage::Format_ARGB32);
    w->render(&image);
}

} // namespace

TEST(RDSliderTest, MouseReleaseReportsTheValueUnderIt)
{
    RDSlider slider;
    slider.resize(112, 20);
    slider.setValue(30);
    EXPECT_EQ(slider.thumb()->x(), 30); // (112 - 12) px over 0..100
    EXPECT_EQ(slider.track()->geometry(), QRect(6, 8, 100, 3));
    QSignalSpy changed(&slider, &RDSlider::valueChanged);

    // Dragging moves the value silently; the release reports it.
    QMouseEvent move(QEvent::MouseMove, QPoint(28, 10), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &move);
    EXPECT_EQ(slider.value(), 25);
    EXPECT_EQ(changed.count(), 0);
    for (int round = 1; round <= 2; ++round) {
        QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(56, 10));
        EXPECT_EQ(slider.value(), 50);
        ASSERT_EQ(changed.count(), round); // reported again, unchanged or not
        EXPECT_EQ(changed.last().at(0).toInt(), 50);
    }
    // A release beyond the end is clamped.
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(300, 10));
    EXPECT_EQ(slider.value(), 100);
    QTest::mouseRelease(&slider, Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(slider.value(), 100);
    // A release on the thumb itself reaches the slider.
    QTest::mouseRelease(slider.thumb(), Qt::LeftButton, Qt::NoModifier, QPoint(6, 6));
    EXPECT_EQ(slider.value(), 106 * 100 / 112);
    EXPECT_EQ(changed.last().at(0).toInt(), 106 * 100 / 112);
}

TEST(RDSliderTest, KeysAndWheelStepWithinTheRange)
{
    RDSlider slider;
    slider.resize(112, 20);
    slider.setStep(5);
    QSignalSpy changed(&slider, &RDSlider::valueChanged);

    QTest::keyClick(&slider, Qt::Key_Up); // already at the maximum
    EXPECT_EQ(changed.count(), 0);
    QTest::keyClick(&slider, Qt::Key_Down);
    EXPECT_EQ(slider.value(), 95);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.last().at(0).toInt(), 95);
    QTest::keyClick(&slider, Qt::Key_Left); // other keys do nothing
    EXPECT_EQ(slider.value(), 95);

    wheel(&slider, -120);
    EXPECT_EQ(slider.value(), 90);
    wheel(&slider, 120);
    EXPECT_EQ(slider.value(), 95);
    wheel(&slider, 0, 120); // sideways wheel
    EXPECT_EQ(slider.value(), 95);
    EXPECT_EQ(changed.count(), 3);

    slider.setRange(0, 50);
    EXPECT_EQ(slider.value(), 50);
    slider.setValue(-3, true);
    EXPECT_EQ(slider.value(), 0);
    EXPECT_EQ(changed.count(), 4);
    slider.setValue(0, true); // unchanged: silent
    slider.setValue(20);
    EXPECT_EQ(changed.count(), 4);
}

TEST(RDSliderTest, EmptyRangeAndZeroWidthDoNotDivideByZero)
{
    RDSlider slider;
    slider.setRange(10, 10);
    slider.resize(0, 20);
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(0, 10));
    EXPECT_EQ(slider.value(), 10);
    EXPECT_EQ(slider.thumb()->x(), 0);
}

TEST(SwitchControlTest, ClickFlipsAndTheKnobSlidesToRest)
{
    PaUiTest::ManualClock clock;
    SwitchControl control;
    EXPECT_EQ(control.sizeHint(), QSize(38, 22));
    control.resize(38, 22);
    QSignalSpy toggled(&control, &SwitchControl::toggled);

    QTest::mouseClick(&control, Qt::RightButton);
    EXPECT_EQ(toggled.count(), 0);
    QTest::mouseClick(&control, Qt::LeftButton);
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_TRUE(toggled.last().at(0).toBool());
    EXPECT_TRUE(control.isToggled());
    clock.advance(130);
    EXPECT_DOUBLE_EQ(control.knobX(), 21.0);
    clock.advance(10);
    EXPECT_DOUBLE_EQ(control.knobX(), 22.0);
    clock.advance(100);
    EXPECT_DOUBLE_EQ(control.knobX(), 22.0);

    // Set from code: slides back, says nothing.
    control.setToggled(false);
    clock.advance(1000);
    EXPECT_DOUBLE_EQ(control.knobX(), 8.0);
    EXPECT_EQ(toggled.count(), 1);

    control.setEnabled(false);
    QTest::mouseClick(&control, Qt::LeftButton);
    EXPECT_EQ(toggled.count(), 1);
    EXPECT_FALSE(control.isToggled());
}

TEST(RDProgressTest, SpokesScaleWithTheSideAndProgressEndsTheSpin)
{
    const struct {
        int side, radius, length, width;
    } cases[] = {{60, 29, 18, 4}, {25, 12, 8, 2}, {33, 16, 10, 2}, {1, 0, 0, 0}};
    for (const auto &c : cases) {
        const RDProgress::Spokes s = RDProgress::spokesFor(c.side);
        EXPECT_EQ(s.radius, c.radius) << c.side;
        EXPECT_EQ(s.length, c.length) << c.side;
        EXPECT_EQ(s.width, c.width) << c.side;
    }

    RDProgress spinner;
    spinner.resize(30, 30);
    spinner.startAnimation();
    EXPECT_TRUE(spinner.isAnimated());
    spinner.onProgress(50);
    paint(&spinner);
    EXPECT_TRUE(spinner.isAnimated());
    spinner.onProgress(100);
    paint(&spinner);
    EXPECT_FALSE(spinner.isAnimated());

    spinner.startAnimation();
    spinner.stopAnimation();
    EXPECT_FALSE(spinner.isAnimated());
    // Each step turns it by one spoke.
    spinner.onProgress(0);
    spinner.setAnimationDelay(1);
    spinner.startAnimation();
    ASSERT_TRUE(QTest::qWaitFor([&] { return spinner.angle() != 0; }, 5000));
    EXPECT_EQ(spinner.angle() % 30, 0);
}
