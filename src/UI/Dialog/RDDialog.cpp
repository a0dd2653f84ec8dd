#include "RDDialog.h"

#include "RDLabel.h"
#include "RDModal.h"
#include "RDTimer.h"
#include "RDToast.h"

#include <QPainter>
#include <QThread>

RDDialog::RDDialog(QWidget *parent)
    : QDialog(parent)
{
    qRegisterMetaType<Qt::Alignment>("Qt::Alignment");
}

RDDialog::~RDDialog() = default;

RDLabel *RDDialog::toastLabel() const
{
    return m_toast;
}

void RDDialog::centerOn(QWidget *other)
{
    if (!other)
        return;
    const QRect g = other->geometry();
    move(g.left() + (g.width() - width()) / 2, g.top() + (g.height() - height()) / 2);
}

int RDDialog::exec()
{
    return RDModal::run(QStringLiteral("dialog:") + QLatin1String(metaObject()->className()), modalText(),
                        unattendedResult(), [this] { return execDialog(); }, this, nullptr, endsByItself());
}

int RDDialog::execDialog()
{
    return QDialog::exec();
}

void RDDialog::showToast(QString message, Qt::Alignment alignment, int marginX, int marginY)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "showToast", Qt::QueuedConnection, Q_ARG(QString, message),
                                  Q_ARG(Qt::Alignment, alignment), Q_ARG(int, marginX), Q_ARG(int, marginY));
        return;
    }
    hideToast();
    m_toast = RDToast::createToastLabel(this, message, alignment, marginX, marginY);
    connect(m_toast.data(), &RDLabel::clicked, this, &RDDialog::hideToast);
    RDTimer::singleShot(2000, this, [this] { hideToast(); });
}

void RDDialog::showToast(QString message, Qt::Alignment alignment, int marginX)
{
    showToast(message, alignment, marginX, 5);
}

void RDDialog::showToast(QString message, Qt::Alignment alignment)
{
    showToast(message, alignment, 5, 5);
}

void RDDialog::showToast(QString message)
{
    showToast(message, Qt::AlignHCenter | Qt::AlignBottom, 5, 5);
}

void RDDialog::hideToast()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "hideToast", Qt::QueuedConnection);
        return;
    }
    if (!m_toast)
        return;
    RDLabel *label = m_toast;
    m_toast = nullptr;
    RDToast::discardToastLabel(label, false);
}

void RDDialog::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    RDBackground::paint(&painter, width(), height());
}
