#include "RDDialogButton.h"
#include "RDLoadingDialog.h"
#include "RDModal.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Slow work that writes into its own members until it is cancelled, and
// ends the dialog with its result when it finishes on its own.
class SlowLoadingDialog : public RDLoadingDialog
{
public:
    explicit SlowLoadingDialog(int workMs)
        : m_workMs(workMs)
    {
    }
    ~SlowLoadingDialog() override { endWork(); }

    std::atomic<int> cancels{0};
    std::atomic<bool> workReturned{false};
    std::atomic<bool> workStarted{false};
    Qt::HANDLE workThread = nullptr;
    std::vector<int> results; // written by the worker only

protected:
    void doWork() override
    {
        workThread = QThread::currentThreadId();
        workStarted = true;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_workMs);
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_cancelled && !isThreadFinished() && std::chrono::steady_clock::now() < end) {
            results.push_back(static_cast<int>(results.size()));
            m_wake.wait_for(lock, std::chrono::milliseconds(2));
        }
        const bool finished = !m_cancelled && !isThreadFinished();
        lock.unlock();
        if (finished) {
            setMessage(QStringLiteral("found %1").arg(results.size()));
            accpetDialog();
        }
        workReturned = true;
    }
    void cancelWork() override
    {
        ++cancels;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
        m_wake.notify_all();
    }

private:
    int m_workMs;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_cancelled = false;
};

RDModal::Answer realRun(std::function<void(QObject *)> action = {})
{
    RDModal::Answer run;
    run.kind = QStringLiteral("dialog:RDLoadingDialog");
    run.realExec = true;
    run.action = std::move(action);
    return run;
}

} // namespace

TEST(RDLoadingDialogTest, WorkerResultReachesTheGuiThreadAndTheWorkerIsGoneBeforeExecReturns)
{
    SlowLoadingDialog dialog(30);
    EXPECT_EQ(dialog.size(), QSize(300, 120));
    ASSERT_TRUE(dialog.startWork());
    RDModal::Answer run = realRun();
    run.kind.clear();
    RDModal::queue(run);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(dialog.workReturned);
    EXPECT_FALSE(dialog.hasWorker());
    EXPECT_NE(dialog.workThread, QThread::currentThreadId());
    EXPECT_EQ(dialog.message(), QStringLiteral("found %1").arg(dialog.results.size()));
    EXPECT_EQ(dialog.cancels, 1); // the ending stops the worker once
}

TEST(RDLoadingDialogTest, EscapeAtAnyMomentLeavesNoRunningWorker)
{
    for (int delayMs : {0, 1, 5, 10, 25, 50}) {
        auto *dialog = new SlowLoadingDialog(10000);
        ASSERT_TRUE(dialog->startWork());
        RDModal::Answer run = realRun([delayMs](QObject *d) {
            QTest::qWait(delayMs);
            QTest::keyClick(static_cast<QWidget *>(d), Qt::Key_Escape);
        });
        run.kind.clear();
        RDModal::queue(run);
        EXPECT_EQ(dialog->exec(), QDialog::Rejected) << delayMs;
        EXPECT_FALSE(dialog->hasWorker()) << delayMs;
        EXPECT_EQ(dialog->cancels, 1) << delayMs;
        EXPECT_TRUE(dialog->workReturned || !dialog->workStarted) << delayMs;
        delete dialog; // the work wrote into this object: nothing may touch it now
    }
}

TEST(RDLoadingDialogTest, CloseButtonCancelsOnceAndRejects)
{
    SlowLoadingDialog dialog(10000);
    ASSERT_TRUE(dialog.startWork());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.workStarted.load(); }, 5000));
    RDModal::Answer run = realRun([](QObject *d) {
        QTest::mouseClick(static_cast<QWidget *>(d)->findChild<RDDialogButton *>(QStringLiteral("close")),
                          Qt::LeftButton);
    });
    run.kind.clear();
    RDModal::queue(run);
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(dialog.workReturned);
    EXPECT_EQ(dialog.cancels, 1);
    EXPECT_FALSE(dialog.hasWorker());
}

TEST(RDLoadingDialogTest, DestroyedWhileWorkingWithoutARun)
{
    auto *dialog = new SlowLoadingDialog(10000);
    ASSERT_TRUE(dialog->startWork());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->workStarted.load(); }, 5000));
    delete dialog; // ends the work first; ASan reports any later write
}

TEST(RDLoadingDialogTest, EndingsWithoutAWorkerAndMessagesFromTheWorker)
{
    RDLoadingDialog dialog;
    EXPECT_TRUE(dialog.isThreadFinished());
    dialog.dismiss();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    dialog.rejectDialog();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    std::thread([&] { dialog.setMessage(QStringLiteral("Searching")); }).join();
    EXPECT_EQ(dialog.message(), QString());
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.message(), QStringLiteral("Searching"));
}

TEST(RDLoadingDialogTest, RunsWhereNobodyCanAnswerBecauseItsWorkEndsIt)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    const RDModal::Handler handler = RDModal::unscriptedHandler();
    RDModal::setUnscriptedHandler(nullptr); // as in the program itself
    SlowLoadingDialog dialog(20);
    ASSERT_TRUE(dialog.startWork());
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(dialog.workReturned);
    RDModal::setUnscriptedHandler(handler);
}
