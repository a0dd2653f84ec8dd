#pragma once

#include "RDLoadingDialog.h"

#include <condition_variable>
#include <functional>
#include <mutex>

// Shown while the switch starts: its worker asks every 100 ms whether the
// switch answers and accepts the dialog once it does. The operator can
// leave with the close button (rejected).
class FSLoadingDialog : public RDLoadingDialog
{
    Q_OBJECT
public:
    // `isReady` is asked on the worker thread; by default the switch
    // manager's ready flag.
    explicit FSLoadingDialog(QWidget *parent = nullptr, std::function<bool()> isReady = {});
    ~FSLoadingDialog() override;

    bool startLoadingThread() { return startWork(); }

    void languageChanged() override;

public slots:
    void onLoadingEnded() { accpetDialog(); }

protected:
    void doWork() override;
    void cancelWork() override;

private:
    std::function<bool()> m_isReady;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_cancelled = false;
};
