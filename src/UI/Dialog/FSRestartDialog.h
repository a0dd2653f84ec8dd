#pragma once

#include "RDLoadingDialog.h"

#include <QString>

#include <functional>

// Shown while the switch restarts with new network settings. The restart
// runs once on the dialog's worker thread; the dialog accepts itself when
// it has returned. Closing it early waits for the restart to finish.
class FSRestartDialog : public RDLoadingDialog
{
    Q_OBJECT
public:
    // What the switch and the SIP layer run with after the restart.
    struct Network
    {
        QString internalIp;
        QString internalNetmask;
        int internalPort = 0;
        bool natEnabled = false;
        QString externalIp;
        int externalPort = 0;
        QString sipCodecs;
        int rtpStartPort = 0;
        int rtpEndPort = 0;
    };

    // `restart` runs on the worker; by default the switch manager's restart.
    explicit FSRestartDialog(QWidget *parent = nullptr, std::function<void()> restart = {});
    ~FSRestartDialog() override;

    // The restart that brings in new network settings: the switch manager
    // stops first (its threads call into the SIP layer), the SIP layer is
    // made again for the new address once no caller holds it, then the
    // switch takes the settings and starts. Never runs on the GUI thread.
    static std::function<void()> networkRestart(const Network &network);

    bool startRestartThread() { return startWork(); }

    void languageChanged() override;

public slots:
    void onRestartEnded() { accpetDialog(); }

protected:
    void doWork() override;
    void relayoutContents(int width, int height) override;

private:
    std::function<void()> m_restart;
};
