#pragma once

#include "RDFullDialog.h"

#include <QPointer>

class FSLoadingDialog;
class QCloseEvent;
class QMenu;
class QSystemTrayIcon;
class RDHomeGroupWidget;
class RDHomeHeaderWidget;

// The program's one main window: the header bar (Save Configure, Devices,
// Options) over the home zone panel, and the tray icon with Open and Exit.
//
// It holds the program's keep-running flag: set from construction, cleared
// only when the operator chooses Exit (on closing the window or from the
// tray) or the system asks the program to end. Choosing "Minimized" on
// closing hides the window to the tray; where the desktop offers no tray,
// nothing could bring a hidden window back, so it is minimised instead.
// Escape never closes it.
class RDHomeDialog : public RDFullDialog
{
    Q_OBJECT
public:
    explicit RDHomeDialog(QWidget *parent = nullptr);
    ~RDHomeDialog() override;

    // The main window registered by its constructor; null after its
    // destructor. Any thread.
    static RDHomeDialog *instance();

    bool keepRunning() const { return m_keepRunning; }
    bool *keepRunningFlag() { return &m_keepRunning; }

    // Has the zone panel fetch every zone and rebuild.
    void loadGroups();
    // Runs the loading dialog until the switch is ready. When the operator
    // leaves it, the keep-running flag is cleared. Nothing when the flag is
    // cleared already.
    void execLoadingDialog();
    // Clears the keep-running flag, ends the loading dialog and the event
    // loop (a termination request of the system).
    void requestExit();

    RDHomeGroupWidget *groupWidget() const { return m_groupWidget; }
    RDHomeHeaderWidget *headerWidget() const { return m_header; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QMenu *trayMenu() const { return m_trayMenu; }

    void languageChanged() override;

public slots:
    // Refreshes the zone panel's detail; from any thread (re-posted to the
    // window's own thread).
    void reload();
    // The tray menu's entries.
    void onTrayOpen();
    void onTrayExit();

protected:
    void relayoutContents(int width, int height) override;
    void closeDialog() override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void onClickSaveButton();
    void onClickDevicesButton();
    void onClickOptionsButton();
    void createSystemTray();
    void destroySystemTray();
    // Asks "Do you want to exit the application". True: the operator chose
    // Exit (pending edits are stored and the flag is cleared); false: the
    // window went to the tray or the task bar.
    bool askExit();
    // Ends the event loop the start-up sequence runs.
    void finishExit();

    RDHomeHeaderWidget *m_header;
    RDHomeGroupWidget *m_groupWidget;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_trayMenu = nullptr;
    bool m_keepRunning = true;
    QPointer<FSLoadingDialog> m_loading;
};
