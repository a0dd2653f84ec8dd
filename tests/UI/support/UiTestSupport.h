#pragma once

#include <QByteArray>
#include <QPoint>
#include <Qt>
#include <QString>
#include <QStringList>

class QWidget;

// Helpers of the widget-kit tests. Every test binary that compiles
// UiTestSupport.cpp fails a test at once when a modal runs that the test did
// not answer in advance (RDModal::queue, PAAlertDialog::setNextAnswer).
namespace PaUiTest {

// The kit's timers run on a hand-driven clock while this lives.
class ManualClock
{
public:
    ManualClock();
    ~ManualClock();
    void advance(int ms);
};

// While this lives, unanswered modals are recorded and answered with
// `result` instead of failing the test.
class CaptureUnscripted
{
public:
    explicit CaptureUnscripted(int result = 0);
    ~CaptureUnscripted();
    QStringList kinds() const;

private:
    struct State;
    State *m_state;
};

// A language folder holding one language "Test" with the given lines;
// the language folder and the current language come back afterwards.
class TestLanguage
{
public:
    explicit TestLanguage(const QByteArray &lines);
    ~TestLanguage();
    bool isValid() const;

private:
    struct State;
    State *m_state;
};

// Sends a left press, moves to `to` (both in `widget`'s coordinates) and
// releases there, as real events carrying global positions.
void drag(QWidget *widget, const QPoint &from, const QPoint &to);

// Sends a press and a release of `button` at `pos` (in `widget`'s
// coordinates), as real events carrying global positions.
void click(QWidget *widget, Qt::MouseButton button, const QPoint &pos);

} // namespace PaUiTest
