#include "RDBaseDialog.h"

#include "RDDialogButton.h"
#include "RDDialogLoadingWidget.h"
#include "RDProgress.h"
#include "RDTimer.h"
#include "RDWidget.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QThread>
#include <QWindow>

RDBaseDialog::RDBaseDialog(QWidget *parent)
    : RDDialog(parent)
    , m_frame(this, false, QColor(255, 255, 255))
{
    // Frameless, yet still a dialog window: the frameless flag alone would
    // make a dialog with a parent a child widget drawn inside that parent.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    connect(m_frame.close, &RDDialogButton::clicked, this, [this] { closeDialog(); });
    connect(m_frame.minimize, &RDDialogButton::clicked, this, [this] { minimizeDialog(); });
    RDBaseDialog::languageChanged();
}

RDBaseDialog::~RDBaseDialog() = default;

RDDialogLoadingWidget *RDBaseDialog::loadingWidget() const
{
    return m_loading;
}

bool RDBaseDialog::hasLoadingTimer() const
{
    return !m_loadingTimer.isNull();
}

void RDBaseDialog::setOuterMargin(int margin)
{
    m_outerMargin = margin;
    relayout(width(), height());
}

void RDBaseDialog::languageChanged()
{
    m_frame.retranslate();
}

void RDBaseDialog::relayout(int width, int height)
{
    const int m = isMaximized() ? 0 : m_outerMargin;
    m_frame.relayout(width, height, m, contentsMargins());
    relayoutTitleBar(m_frame.titleBar->width(), m_frame.titleBar->height());
    relayoutContents(m_frame.body->width(), m_frame.body->height());
}

void RDBaseDialog::relayoutTitleBar(int, int) {}

void RDBaseDialog::relayoutContents(int, int) {}

void RDBaseDialog::minimizeDialog()
{
    showMinimized();
}

void RDBaseDialog::closeDialog()
{
    QWidget::close();
}

void RDBaseDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    relayout(width(), height());
}

void RDBaseDialog::closeEvent(QCloseEvent *event)
{
    closeDialog();
    event->accept();
}

void RDBaseDialog::mousePressEvent(QMouseEvent *event)
{
    QDialog::mousePressEvent(event);
    const QRect title(m_frame.contents->mapTo(this, m_frame.titleBar->pos()), m_frame.titleBar->size());
    m_dragging = false;
    if (!title.contains(event->pos()))
        return;
    // The window manager moves the window when it can; by hand otherwise.
    if (event->button() == Qt::LeftButton && windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragging = true;
    m_lastGlobal = event->globalPos();
}

void RDBaseDialog::mouseMoveEvent(QMouseEvent *event)
{
    QDialog::mouseMoveEvent(event);
    if (!m_dragging)
        return;
    const QPoint delta = event->globalPos() - m_lastGlobal;
    move(x() + delta.x(), y() + delta.y());
    m_lastGlobal = event->globalPos();
}

void RDBaseDialog::mouseReleaseEvent(QMouseEvent *event)
{
    QDialog::mouseReleaseEvent(event);
    m_dragging = false;
}

void RDBaseDialog::showLoading(int ms)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "showLoading", Qt::QueuedConnection, Q_ARG(int, ms));
        return;
    }
    hideLoading();
    m_loading = new RDDialogLoadingWidget(m_frame.body);
    m_loading->setGeometry(0, 0, width(), height());
    m_loading->show();
    m_loading->spinner()->show();
    m_loading->spinner()->startAnimation();
    if (m_loadingTimer) {
        m_loadingTimer->stop();
        m_loadingTimer->deleteLater();
        m_loadingTimer = nullptr;
    }
    if (ms > 0) {
        m_loadingTimer = new RDTimer(this);
        m_loadingTimer->setSingleShot(true);
        connect(m_loadingTimer.data(), &RDTimer::timeout, this, &RDBaseDialog::invokeHideLoadingTimer);
        m_loadingTimer->start(ms);
    }
}

void RDBaseDialog::showLoading()
{
    showLoading(10000);
}

void RDBaseDialog::hideLoading()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "hideLoading", Qt::QueuedConnection);
        return;
    }
    if (m_loadingTimer) {
        m_loadingTimer->stop();
        m_loadingTimer->deleteLater();
        m_loadingTimer = nullptr;
    }
    if (m_loading) {
        m_loading->spinner()->stopAnimation();
        m_loading->spinner()->hide();
        m_loading->hide();
        m_loading->deleteLater();
        m_loading = nullptr;
    }
}

void RDBaseDialog::invokeHideLoadingTimer()
{
    hideLoading();
}
