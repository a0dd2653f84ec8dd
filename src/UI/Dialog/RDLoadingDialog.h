#pragma once

#include "RDBaseDialog.h"

class QProgressBar;
class RDLabel;
class RDLoadingThread;

// A small modal busy dialog in front of long work. A subclass puts the work
// in doWork(), which runs on the dialog's worker thread, polls
// isThreadFinished() and ends the dialog with accpetDialog()/dismiss() or
// rejectDialog(); cancelWork() interrupts it from the GUI thread.
//
// However the dialog ends (those slots, the close button, Escape), the
// worker is stopped, waited for and deleted before exec() returns. A
// subclass whose doWork() or cancelWork() uses its own members calls
// endWork() in its destructor, so the work never outlives them.
class RDLoadingDialog : public RDBaseDialog
{
    Q_OBJECT
public:
    explicit RDLoadingDialog(QWidget *parent = nullptr);
    ~RDLoadingDialog() override;

    // Starts the work on a new worker thread; the caller then runs exec().
    bool startWork();
    // True when there is no worker or it has been told to stop.
    bool isThreadFinished() const;
    bool hasWorker() const;
    QString message() const;

    void done(int result) override;

public slots:
    // Any thread.
    void dismiss();
    void accpetDialog();
    void rejectDialog();
    Q_INVOKABLE void setMessage(QString text);

protected:
    friend class RDLoadingThread;
    virtual void cancelWork();
    virtual void doWork();
    void closeDialog() override;
    bool endsByItself() const override { return true; }
    void relayoutContents(int width, int height) override;
    // Stops, waits for and deletes the worker, if any (GUI thread).
    void endWork();

private:
    RDLoadingThread *m_thread = nullptr;
    QProgressBar *m_progress;
    RDLabel *m_label;
};
