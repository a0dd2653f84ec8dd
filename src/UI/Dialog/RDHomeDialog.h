#pragma once

#include "RDLocalize.h"

#include <QDialog>
#include <QPointer>

class QCloseEvent;
class QSystemTrayIcon;
class RDHomeGroupWidget;
class FSLoadingDialog;

// The main window. It holds the program's keep-running flag: set from
// construction, cleared only when the operator chooses to exit on closing
// the window (or the system asks the program to end). Choosing to minimise
// hides the window to the tray and keeps the flag.
class RDHomeDialog : public QDialog, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDHomeDialog(QWidget *parent = nullptr);
    ~RDHomeDialog() override;

    // The main window registered by its constructor; null after its destructor.
    static RDHomeDialog *instance();

    bool keepRunning() const { return m_keepRunning; }
    bool *keepRunningFlag() { return &m_keepRunning; }

    // Has the zone list read the groups from the central object.
    void loadGroups();
    // Runs the loading dialog until the switch is ready. When the operator
    // leaves it, the keep-running flag is cleared. Nothing when the flag is
    // cleared already.
    void execLoadingDialog();
    // Clears the keep-running flag, ends the loading dialog and the event
    // loop (a termination request of the system).
    void requestExit();

    RDHomeGroupWidget *groupWidget() const { return m_groupWidget; }

    void languageChanged() override;

public Q_SLOTS:
    // Refreshes the zone list's group detail; from any thread.
    void reload();
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool m_keepRunning = true;
    RDHomeGroupWidget *m_groupWidget;
    QPointer<FSLoadingDialog> m_loading;
    QSystemTrayIcon *m_tray = nullptr;
};
