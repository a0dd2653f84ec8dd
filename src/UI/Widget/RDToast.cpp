#include "RDToast.h"

#include "RDLabel.h"
#include "RDTimer.h"

RDToast::RDToast(QWidget *parent)
    : RDWidget(parent)
{
}

QPoint RDToast::toastPosition(int W, int H, int w, int h, Qt::Alignment alignment, int marginX, int marginY)
{
    int x = marginX;
    if (alignment & Qt::AlignLeft)
        x = marginX;
    else if (alignment & Qt::AlignHCenter)
        x = (W - w) / 2;
    else if (alignment & Qt::AlignRight)
        x = W - marginX - w;
    int y = marginY;
    if (alignment & Qt::AlignTop)
        y = marginY;
    else if (alignment & Qt::AlignVCenter)
        y = (H - h) / 2;
    else if (alignment & Qt::AlignBottom)
        y = H - marginY - h;
    return QPoint(x, y);
}

RDLabel *RDToast::createToastLabel(QWidget *parent, const QString &message, Qt::Alignment alignment, int marginX,
                                   int marginY)
{
    auto *label = new RDLabel(parent);
    label->setObjectName(QStringLiteral("toast"));
    label->setText(message);
    // Dark enough for white text on any screen: a quarter-opaque black
    // left white text on a white dialog nearly unreadable.
    label->setBackgroundColor(QColor(0, 0, 0, 170));
    label->setBorder(5, 0, QColor(255, 255, 255, 0));
    label->setMargins(10, 10, 10, 10);
    label->setTextColor(QColor(255, 255, 255));
    label->adjustSize();
    label->move(toastPosition(parent->width(), parent->height(), label->width(), label->height(), alignment, marginX,
                              marginY));
    label->raise();
    label->show();
    return label;
}

void RDToast::showToast(const QString &message, Qt::Alignment alignment, int marginX, int marginY)
{
    if (m_toast)
        discardToastLabel(m_toast, true);
    m_toast = createToastLabel(this, message, alignment, marginX, marginY);
    connect(m_toast.data(), &RDLabel::clicked, this, [this] { RDTimer::singleShot(10, this, [this] { hideToast(); }); });
    RDTimer::singleShot(2000, this, [this] { hideToast(); });
}

void RDToast::hideToast()
{
    if (!m_toast)
        return;
    RDLabel *label = m_toast;
    m_toast = nullptr;
    discardToastLabel(label, true);
}

void RDToast::discardToastLabel(RDLabel *label, bool now)
{
    label->hide();
    label->setParent(nullptr);
    if (now)
        delete label;
    else
        label->deleteLater();
}
