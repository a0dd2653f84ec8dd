#include "RDHomeDialog.h"

#include "PAAlertDialog.h"
#include "RDHomeGroupWidget.h"
#include "FSLoadingDialog.h"
#include "Velmar.h"

#include <QApplication>
#include <QCloseEvent>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QThread>
#include <QVBoxLayout>

#include <atomic>

namespace {
std::atomic<RDHomeDialog *> g_home{nullptr};
}

RDHomeDialog::RDHomeDialog(QWidget *parent)
    : QDialog(parent, Qt::Window)
    , m_groupWidget(new RDHomeGroupWidget(this))
{
    setObjectName(QStringLiteral("RDHomeDialog"));
    resize(800, 600);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_groupWidget);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(style()->standardIcon(QStyle::SP_ComputerIcon), this);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this] {
            showNormal();
            raise();
            activateWindow();
        });
        m_tray->show();
    }
    languageChanged();
    g_home.store(this);
    Velmar::setHomeReloadHandler([this] { reload(); });
}

RDHomeDialog::~RDHomeDialog()
{
    // Cleared before anything goes: a caller on another thread finishes its
    // call first and cannot reach this window afterwards.
    Velmar::setHomeReloadHandler(std::function<void()>());
    g_home.store(nullptr);
}

RDHomeDialog *RDHomeDialog::instance()
{
    return g_home.load();
}

void RDHomeDialog::languageChanged()
{
    setWindowTitle(RDLocalize::text(QStringLiteral("Kelbrin Corvane Lite")));
    if (m_tray)
        m_tray->setToolTip(RDLocalize::text(QStringLiteral("Kelbrin Corvane Lite")));
}

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
    m_groupWidget->reloadDetail();
}

void RDHomeDialog::reject()
{
    // Escape closes the window the same way as its close button.
    close();
}

void RDHomeDialog::closeEvent(QCloseEvent *event)
{
    if (!m_keepRunning) {
        event->accept();
        return;
    }
    PAAlertDialog ask(this);
    ask.setMessage(RDLocalize::text(QStringLiteral("Do you want to exit the application")));
    ask.setOkText(RDLocalize::text(QStringLiteral("Exit")));
    ask.setCancelText(RDLocalize::text(QStringLiteral("Minimized")));
    if (ask.exec() == QDialog::Accepted) {
        m_keepRunning = false;
        event->accept();
        QCoreApplication::quit();
        return;
    }
    event->ignore();
    // Only the tray icon brings a hidden window back; without one (many
    // desktops have no tray) the window is minimised to the task bar instead.
    if (m_tray)
        hide();
    else
        showMinimized();
}
