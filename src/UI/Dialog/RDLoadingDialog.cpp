#include "RDLoadingDialog.h"

#include "RDLabel.h"
#include "RDLoadingThread.h"
#include "RDWidget.h"

#include <QProgressBar>
#include <QThread>

RDLoadingDialog::RDLoadingDialog(QWidget *parent)
    : RDBaseDialog(parent)
    , m_progress(new QProgressBar(body()))
    , m_label(new RDLabel(body()))
{
    m_progress->setRange(0, 0);
    m_progress->setAlignment(Qt::AlignCenter);
    m_progress->setTextVisible(false);
    m_label->setTextColor(QColor(0, 0, 0));
    resize(300, 120);
}

RDLoadingDialog::~RDLoadingDialog()
{
    endWork();
}

bool RDLoadingDialog::startWork()
{
    endWork();
    m_thread = new RDLoadingThread(this);
    m_thread->setName("RDLoadingThread");
    return m_thread->start();
}

bool RDLoadingDialog::isThreadFinished() const
{
    return !m_thread || m_thread->isStopped();
}

bool RDLoadingDialog::hasWorker() const
{
    return m_thread != nullptr;
}

QString RDLoadingDialog::message() const
{
    return m_label->text();
}

void RDLoadingDialog::endWork()
{
    if (!m_thread)
        return;
    RDLoadingThread *thread = m_thread;
    thread->stop();
    thread->wait();
    m_thread = nullptr;
    delete thread;
}

void RDLoadingDialog::done(int result)
{
    // Escape and every other ending: the work ends before exec() returns.
    endWork();
    RDBaseDialog::done(result);
}

void RDLoadingDialog::dismiss()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "dismiss", Qt::QueuedConnection);
        return;
    }
    endWork();
    accept();
}

void RDLoadingDialog::accpetDialog()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "accpetDialog", Qt::QueuedConnection);
        return;
    }
    endWork();
    accept();
}

void RDLoadingDialog::rejectDialog()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "rejectDialog", Qt::QueuedConnection);
        return;
    }
    endWork();
    reject();
}

void RDLoadingDialog::setMessage(QString text)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "setMessage", Qt::QueuedConnection, Q_ARG(QString, text));
        return;
    }
    m_label->setText(text);
}

void RDLoadingDialog::cancelWork() {}

void RDLoadingDialog::doWork() {}

void RDLoadingDialog::closeDialog()
{
    endWork();
    QWidget::close();
}

void RDLoadingDialog::relayoutContents(int w, int h)
{
    Q_UNUSED(h);
    m_label->setGeometry(5, 10, w - 10, 30);
    m_progress->setGeometry(40, 40, w - 80, 10);
}
