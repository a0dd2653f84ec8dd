#include "RDHomeDialog.h"

#include "FSLoadingDialog.h"
#include "PAAlertDialog.h"
#include "RDDevicesDialog.h"
#include "RDHomeGroupWidget.h"
#include "RDHomeHeaderButton.h"
#include "RDHomeHeaderWidget.h"
#include "RDLog.h"
#include "RDPixmapCache.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"
#include "Velmar.h"
#include "VelmarSettingsDialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QThread>

#include <atomic>

namespace {
std::atomic<RDHomeDialog *> g_home{nullptr};
}

RDHomeDialog::RDHomeDialog(QWidget *parent)
    : RDFullDialog(parent)
    , m_header(new RDHomeHeaderWidget(body()))
    , m_groupWidget(new RDHomeGroupWidget(body(), this))
{
    setObjectName(QStringLiteral("RDHomeDialog"));
    // A window of its own: it has a task bar entry and can be minimised.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    initWidgetResources();
    setWindowIcon(QIcon(QStringLiteral(":/resources/icon.svg")));
    g_home.store(this);

    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(int(available.width() * 0.8), int(available.height() * 0.8));

    connect(m_header->saveButton(), &RDHomeHeaderButton::clicked, this, &RDHomeDialog::onClickSaveButton);
    connect(m_header->devicesButton(), &RDHomeHeaderButton::clicked, this, &RDHomeDialog::onClickDevicesButton);
    connect(m_header->optionsButton(), &RDHomeHeaderButton::clicked, this, &RDHomeDialog::onClickOptionsButton);

    RDHomeDialog::languageChanged();
    createSystemTray();
    Velmar::setHomeReloadHandler([this] { reload(); });
}

RDHomeDialog::~RDHomeDialog()
{
    // Cleared before anything goes: a caller on another thread finishes its
    // call first and cannot reach this window afterwards.
    Velmar::setHomeReloadHandler(std::function<void()>());
    destroySystemTray();
    g_home.store(nullptr);
}

RDHomeDialog *RDHomeDialog::instance()
{
    return g_home.load();
}

void RDHomeDialog::languageChanged()
{
    RDFullDialog::languageChanged();
    setWindowTitle(RDLocalize::text(QStringLiteral("Kelbrin Corvane Lite")));
    // The tray menu is built anew with the new texts.
    if (m_tray) {
        destroySystemTray();
        createSystemTray();
    }
}

void RDHomeDialog::relayoutContents(int width, int height)
{
    m_header->setGeometry(2, 2, width - 5, 26);
    m_groupWidget->setGeometry(0, 28, width, height - 28);
}

// -- Tray ---------------------------------------------------------------------------

void RDHomeDialog::createSystemTray()
{
    if (m_tray)
        return;
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("trayMenu"));
    QAction *open = new QAction(RDLocalize::text(QStringLiteral("Open")), m_trayMenu);
    QAction *exit = new QAction(RDLocalize::text(QStringLiteral("Exit")), m_trayMenu);
    connect(open, &QAction::triggered, this, &RDHomeDialog::onTrayOpen);
    connect(exit, &QAction::triggered, this, &RDHomeDialog::onTrayExit);
    m_trayMenu->addAction(open);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(exit);
    applyMenuStyle(m_trayMenu);

    m_tray = new QSystemTrayIcon(QIcon(QStringLiteral(":/resources/icon.svg")), this);
    m_tray->setContextMenu(m_trayMenu);
    m_tray->setToolTip(RDLocalize::text(QStringLiteral("Kelbrin Corvane Lite")));
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "reason %d\n", int(reason));
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger
            || reason == QSystemTrayIcon::MiddleClick) {
            showNormal();
            raise();
            activateWindow();
        }
    });
    // Without a tray on the desktop there is nothing to show it in.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_tray->show();
}

void RDHomeDialog::destroySystemTray()
{
    if (m_tray) {
        m_tray->hide();
        delete m_tray;
        m_tray = nullptr;
    }
    delete m_trayMenu;
    m_trayMenu = nullptr;
}

void RDHomeDialog::onTrayOpen()
{
    showNormal();
    m_groupWidget->loadGroups();
    raise();
    activateWindow();
}

void RDHomeDialog::onTrayExit()
{
    m_groupWidget->saveSilently();
    m_keepRunning = false;
    reject();
    finishExit();
}

// -- Closing ------------------------------------------------------------------------

bool RDHomeDialog::askExit()
{
    PAAlertDialog ask(this);
    ask.setMessage(RDLocalize::text(QStringLiteral("Do you want to exit the application")));
    ask.setOkText(RDLocalize::text(QStringLiteral("Minimized")));
    ask.setCancelText(RDLocalize::text(QStringLiteral("Exit")));
    ask.centerOn(this);
    if (ask.exec() == QDialog::Accepted) {
        createSystemTray();
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            m_tray->show();
            hide();
        } else {
            // Only a tray icon brings a hidden window back; without one the
            // window waits on the task bar.
            showMinimized();
        }
        return false;
    }
    m_groupWidget->saveSilently();
    m_keepRunning = false;
    return true;
}

void RDHomeDialog::finishExit()
{
    // The window may hide for the tray, so the last closed window does not
    // end the program: the start-up sequence's loop is ended here.
    QCoreApplication::quit();
}

void RDHomeDialog::closeDialog()
{
    if (!m_keepRunning || askExit()) {
        reject();
        finishExit();
    }
}

void RDHomeDialog::closeEvent(QCloseEvent *event)
{
    if (!m_keepRunning) {
        event->accept();
        return;
    }
    if (askExit()) {
        event->accept();
        finishExit();
        return;
    }
    event->ignore();
}

void RDHomeDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    RDFullDialog::keyPressEvent(event);
}

// -- Header bar ---------------------------------------------------------------------

void RDHomeDialog::onClickSaveButton()
{
    m_groupWidget->saveConfigure();
}

void RDHomeDialog::onClickDevicesButton()
{
    {
        RDDevicesDialog dialog(this);
        dialog.centerOn(this);
        dialog.exec();
    }
    // Renamed or deleted devices show in the zones at once.
    m_groupWidget->loadGroups();
}

void RDHomeDialog::onClickOptionsButton()
{
    VelmarSettingsDialog dialog(this);
    dialog.centerOn(this);
    dialog.exec();
}

// -- Start-up and refresh -------------------------------------------------------------

void RDHomeDialog::loadGroups()
{
    m_groupWidget->loadGroups();
}

void RDHomeDialog::execLoadingDialog()
{
    if (!m_keepRunning)
        return;
    FSLoadingDialog dialog(this);
    dialog.startWork();
    m_loading = &dialog;
    if (dialog.exec() != QDialog::Accepted)
        m_keepRunning = false;
    m_loading = nullptr;
}

void RDHomeDialog::requestExit()
{
    m_keepRunning = false;
    if (m_loading)
        m_loading->reject();
    QCoreApplication::quit();
}

void RDHomeDialog::reload()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "reload", Qt::QueuedConnection);
        return;
    }
    m_groupWidget->refreshInfo();
}
