#include "UiTestSupport.h"

#include "RDLocalize.h"
#include "RDModal.h"
#include "RDTimer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QMouseEvent>
#include <QWidget>

#include <memory>

namespace {

int failUnscripted(const QString &kind, const QString &text)
{
    ADD_FAILURE() << "modal run without a scripted answer: " << qPrintable(kind) << " \"" << qPrintable(text)
                  << "\"";
    return 0;
}

// Each test starts with no leftover answers and the failing handler.
class ModalGuard : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo &) override
    {
        RDModal::clearAnswers();
        RDModal::takeShown();
        RDModal::setUnscriptedHandler(failUnscripted);
        RDTimer::setManualClockForTesting(false);
    }
};

const bool g_installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ModalGuard);
    return true;
}();

} // namespace

namespace PaUiTest {

ManualClock::ManualClock()
{
    RDTimer::setManualClockForTesting(true);
}

ManualClock::~ManualClock()
{
    RDTimer::setManualClockForTesting(false);
}

void ManualClock::advance(int ms)
{
    RDTimer::advanceForTesting(ms);
}

struct CaptureUnscripted::State
{
    QStringList kinds;
    RDModal::Handler previous;
};

CaptureUnscripted::CaptureUnscripted(int result)
    : m_state(new State)
{
    m_state->previous = RDModal::unscriptedHandler();
    State *state = m_state;
    RDModal::setUnscriptedHandler([state, result](const QString &kind, const QString &) {
        state->kinds.append(kind);
        return result;
    });
}

CaptureUnscripted::~CaptureUnscripted()
{
    RDModal::setUnscriptedHandler(m_state->previous);
    delete m_state;
}

QStringList CaptureUnscripted::kinds() const
{
    return m_state->kinds;
}

struct TestLanguage::State
{
    QTemporaryDir dir;
    QString oldDir;
    QString oldLanguage;
    bool written = false;
};

TestLanguage::TestLanguage(const QByteArray &lines)
    : m_state(new State)
{
    m_state->oldDir = RDLocalize::languageDir();
    m_state->oldLanguage = RDLocalize::language();
    QFile file(m_state->dir.path() + QStringLiteral("/Test.txt"));
    m_state->written = m_state->dir.isValid() && file.open(QIODevice::WriteOnly) && file.write(lines) == lines.size();
    file.close();
    RDLocalize::setLanguageDir(m_state->dir.path());
}

TestLanguage::~TestLanguage()
{
    RDLocalize::setLanguageDir(m_state->oldDir);
    RDLocalize::changeLanguage(m_state->oldLanguage);
    delete m_state;
}

bool TestLanguage::isValid() const
{
    return m_state->written;
}

void click(QWidget *widget, Qt::MouseButton button, const QPoint &pos)
{
    const QPoint global = widget->mapToGlobal(pos);
    QMouseEvent press(QEvent::MouseButtonPress, pos, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, pos, global, button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void drag(QWidget *widget, const QPoint &from, const QPoint &to)
{
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    QMouseEvent press(QEvent::MouseButtonPress, from, from + origin, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    // Global positions stay those of the press-time origin: a window that
    // moves under the mouse must not see its own move as mouse travel.
    const QPoint mid = (from + to) / 2;
    for (const QPoint &p : {mid, to}) {
        QMouseEvent move(QEvent::MouseMove, p, p + origin, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, to, to + origin, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

} // namespace PaUiTest
