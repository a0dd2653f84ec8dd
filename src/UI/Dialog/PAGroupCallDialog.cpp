#include "PAGroupCallDialog.h"

#include "PAGroupCallThread.h"
#include "PASipCall.h"
#include "PASipChannel.h"
#include "PASipManager.h"
#include "RDConfigure.h"
#include "RDCoreAudio.h"
#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDThread.h"
#include "RDWidget.h"
#include "RDUtils.h"
#include "Velmar.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QThread>
#include <QTimer>

namespace {

QString rememberedConferenceId()
{
    return RDConfigure().callConferenceId();
}

void rememberConferenceId(const QString &id)
{
    RDConfigure().setCallConferenceId(id);
}

// How long the worker waits between looks at the account while it signs
// in, and between looks at the running call. Both waits end at once when
// the dialog stops the worker.
constexpr int kRegisterWaitMs = 100;
constexpr int kWatchWaitMs = 1000;

bool isSignedIn(int state)
{
    return state == SipChannel::StateRegistered || state == SipChannel::StateRefreshDue;
}

} // namespace

PAGroupCallDialog::PAGroupCallDialog(QWidget *parent)
    : PAGroupCallDialog(Kind{&getAllDevices, &rememberedConferenceId, &rememberConferenceId, false}, parent)
{
    setObjectName(QStringLiteral("PAGroupCallDialog"));
}

PAGroupCallDialog::PAGroupCallDialog(const Kind &kind, QWidget *parent)
    : RDBaseDialog(parent)
    , m_kind(kind)
    , m_statusLabel(new QLabel(body()))
    , m_hangUpButton(new RDLabel(body()))
    , m_captureCombo(new QComboBox(body()))
{
    setMinimumSize(300, 200);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->setWordWrap(true);
    m_hangUpButton->setObjectName(QStringLiteral("hangUpButton"));
    m_hangUpButton->setText(RDLocalize::text(QStringLiteral("Hang up")));
    m_hangUpButton->setTextColor(Qt::white);
    m_hangUpButton->setBackgroundColor(rdThemeColor());
    m_hangUpButton->setCursor(Qt::PointingHandCursor);
    connect(m_hangUpButton, &RDLabel::clicked, this, &PAGroupCallDialog::onClickHangUp);
    m_captureCombo->setObjectName(QStringLiteral("captureCombo"));

    m_devices = m_kind.listDevices();
    if (!m_devices.isEmpty()) {
        const QString remembered = m_kind.rememberedId();
        int chosen = 0;
        for (int i = 0; i < m_devices.size(); ++i) {
            m_captureCombo->addItem(m_devices[i].name(), m_devices[i].id());
            if (m_devices[i].id() == remembered)
                chosen = i;
        }
        m_lock.lock();
        m_captureDevice = m_devices[chosen];
        m_lock.unlock();
        m_captureCombo->setCurrentIndex(chosen);
    }
    // Connected only now, so that the first selection is not a change.
    connect(m_captureCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &PAGroupCallDialog::onCaptureCurrentIndexChanged, Qt::QueuedConnection);
    languageChanged();
}

PAGroupCallDialog::~PAGroupCallDialog()
{
    stopCallThread();
}

void PAGroupCallDialog::languageChanged()
{
    // The hang-up text and the status keep the language they were set in.
    RDBaseDialog::languageChanged();
}

void PAGroupCallDialog::setNumber(const QString &number)
{
    m_number = number;
}

void PAGroupCallDialog::startCallThread()
{
    if (!isCallRunning())
        startWorker(new PAGroupCallThread(this));
}

void PAGroupCallDialog::startWorker(RDThread *thread)
{
    Velmar *velmar = Velmar::instance();
    m_host = velmar ? velmar->internalIp() : QString();
    m_port = velmar ? velmar->internalPort() : 0;
    m_user = Velmar::sipNumber();
    m_callThread = thread;
    m_callThread->start();
}

void PAGroupCallDialog::stopCallThread()
{
    if (!m_callThread)
        return;
    m_callThread->stop();
    m_callThread->wait();
    delete m_callThread;
    m_callThread = nullptr;
}

RDCoreDevice PAGroupCallDialog::captureDevice()
{
    m_lock.lock();
    const RDCoreDevice device = m_captureDevice;
    m_lock.unlock();
    return device;
}

void PAGroupCallDialog::onCaptureCurrentIndexChanged(int index)
{
    if (index < 0 || index >= m_devices.size())
        return;
    const QString id = m_captureCombo->itemData(index).toString();
    bool changed = false;
    m_lock.lock();
    if (id != m_captureDevice.id()) {
        m_captureDevice = m_devices[index];
        m_switchDevice = true;
        changed = true;
    }
    m_lock.unlock();
    if (changed)
        m_kind.rememberId(id);
}

void PAGroupCallDialog::updateStatus(QString status)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "updateStatus", Qt::QueuedConnection, Q_ARG(QString, status));
        return;
    }
    m_statusLabel->setText(status);
}

void PAGroupCallDialog::autoClose()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "autoClose", Qt::QueuedConnection);
        return;
    }
    if (m_closeScheduled)
        return;
    m_closeScheduled = true;
    QTimer::singleShot(1000, this, &QWidget::close);
}

void PAGroupCallDialog::onClickHangUp()
{
    stopCallThread();
    accept();
}

void PAGroupCallDialog::closeEvent(QCloseEvent *event)
{
    RDBaseDialog::closeEvent(event);
    stopCallThread();
}

void PAGroupCallDialog::relayoutContents(int width, int height)
{
    RDBaseDialog::relayoutContents(width, height);
    m_captureCombo->setGeometry(20, 20, width - 40, 25);
    const int top = m_captureCombo->geometry().bottom() + 1 + 10;
    m_statusLabel->setGeometry(0, top, width, height - (top - 10) - 70);
    m_hangUpButton->setGeometry((width - 120) / 2, height - 40, 120, 30);
}

void PAGroupCallDialog::postStatus(const QString &status, QString *last)
{
    if (*last == status)
        return;
    *last = status;
    ++m_statusPosts;
    updateStatus(RDLocalize::text(status));
}

void PAGroupCallDialog::runCall(RDThread *thread)
{
    QString last;
    if (captureDevice().isNull()) {
        postStatus(QStringLiteral("Microphone not found"), &last);
        autoClose();
        return;
    }
    if (registerAndCall(thread, &last))
        watchCall(thread, &last);
    hangUpAndSignOut();
    postStatus(QStringLiteral("Call Ended"), &last);
    autoClose();
}

bool PAGroupCallDialog::registerAndCall(RDThread *thread, QString *last)
{
    const QByteArray number = m_number.toUtf8();
    while (!thread->isStopped()) {
        {
            PASipManager::Use sip;
            if (!sip)
                return false;
            sip->lock();
            PASipChannel *channel = sip->findChannel(m_host, m_port, m_user);
            if (!channel) {
                sip->registerAccount(m_host, m_port, m_user, m_user);
                sip->unlock();
            } else if (!isSignedIn(channel->state())) {
                sip->unlock();
            } else {
                channel->lock();
                m_lock.lock();
                const RDCoreDevice device = m_captureDevice;
                m_switchDevice = false;
                m_lock.unlock();
                channel->call(number.constData(), device, m_kind.playReceived);
                channel->unlock();
                sip->unlock();
                postStatus(QStringLiteral("Calling"), last);
                return true;
            }
        }
        postStatus(QStringLiteral("Registring"), last);
        thread->sleep(kRegisterWaitMs);
    }
    return false;
}

void PAGroupCallDialog::watchCall(RDThread *thread, QString *last)
{
    const QByteArray number = m_number.toUtf8();
    while (!thread->isStopped()) {
        {
            PASipManager::Use sip;
            if (!sip)
                return;
            sip->lock();
            PASipChannel *channel = sip->findChannel(m_host, m_port, m_user);
            if (!channel) {
                sip->unlock();
                return;
            }
            channel->lock();
            PASipCall *call = channel->findCall(number.constData());
            if (call && !call->isInvalid()) {
                postStatus(QStringLiteral("Talking"), last);
                m_lock.lock();
                const bool switchDevice = m_switchDevice;
                const RDCoreDevice device = m_captureDevice;
                m_switchDevice = false;
                m_lock.unlock();
                if (switchDevice)
                    call->setCaptureDevice(device);
            } else {
                // Ended by the far end or lost: the dialog closes itself and
                // stops this worker.
                postStatus(QStringLiteral("Call Ended"), last);
                autoClose();
            }
            channel->unlock();
            sip->unlock();
        }
        thread->sleep(kWatchWaitMs);
    }
}

void PAGroupCallDialog::hangUpAndSignOut()
{
    PASipManager::Use sip;
    if (!sip)
        return;
    sip->lock();
    if (PASipChannel *channel = sip->findChannel(m_host, m_port, m_user)) {
        channel->terminateAllCalls();
        channel->unregister();
    }
    sip->unlock();
}
