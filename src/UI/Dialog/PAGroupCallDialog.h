#pragma once

#include "RDBaseDialog.h"
#include "RDCoreDevice.h"
#include "RDThreadLocker.h"

#include <QString>
#include <QVector>

#include <atomic>

class QComboBox;
class QLabel;
class RDLabel;
class RDThread;

// Calls a zone's conference from the PC: the operator speaks into the chosen
// sound endpoint and the voice reaches every speaker of the zone. A worker
// thread signs the program's own account in on the switch, places the call,
// watches it every second and hangs up and signs out at the end. The device
// call dialog derives from it and differs only in its endpoint list, the
// remembered endpoint and whether the far end is heard on the PC.
//
// Locks: the worker takes the SIP manager lock, then the account's lock,
// then this dialog's lock; the user interface takes only this dialog's lock.
class PAGroupCallDialog : public RDBaseDialog
{
    Q_OBJECT
public:
    explicit PAGroupCallDialog(QWidget *parent = nullptr);
    // Stops and waits for the worker however the dialog was dismissed.
    ~PAGroupCallDialog() override;

    void setNumber(const QString &number);
    QString number() const { return m_number; }
    // Starts the call on a worker thread (nothing when one already runs).
    void startCallThread();

    // The worker's body: registration, call, watch, clean-up.
    void runCall(RDThread *thread);

    bool isCallRunning() const { return m_callThread != nullptr; }
    RDCoreDevice captureDevice();
    QComboBox *captureCombo() const { return m_captureCombo; }
    QLabel *statusLabel() const { return m_statusLabel; }
    RDLabel *hangUpButton() const { return m_hangUpButton; }
    // How many status texts the worker has sent to the dialog.
    int statusPosts() const { return m_statusPosts.load(); }

    void languageChanged() override;

public slots:
    void autoClose();
    void updateStatus(QString status);
    void onCaptureCurrentIndexChanged(int index);

protected:
    // What sets the two dialogs apart.
    struct Kind
    {
        QVector<RDCoreDevice> (*listDevices)();
        QString (*rememberedId)();
        void (*rememberId)(const QString &id);
        bool playReceived;
    };
    PAGroupCallDialog(const Kind &kind, QWidget *parent);

    // Takes ownership of the worker and starts it; reads the switch's
    // address for it first.
    void startWorker(RDThread *thread);
    void stopCallThread();

    void closeEvent(QCloseEvent *event) override;
    void relayoutContents(int width, int height) override;
    bool endsByItself() const override { return true; }

private:
    void onClickHangUp();
    // Sends `status` to the dialog when it differs from `*last`.
    void postStatus(const QString &status, QString *last);
    // The sign-in wait; true once the call is placed, false when stopped.
    bool registerAndCall(RDThread *thread, QString *last);
    void watchCall(RDThread *thread, QString *last);
    void hangUpAndSignOut();

    Kind m_kind;
    QString m_number;
    QLabel *m_statusLabel;
    RDLabel *m_hangUpButton;
    RDThread *m_callThread = nullptr;
    QComboBox *m_captureCombo;
    RDThreadLocker m_lock;
    RDCoreDevice m_captureDevice;
    bool m_switchDevice = false;
    QVector<RDCoreDevice> m_devices;

    // The account the worker signs in with, read on the dialog's thread.
    QString m_host;
    int m_port = 0;
    QString m_user;
    std::atomic<int> m_statusPosts{0};
    bool m_closeScheduled = false;
};
