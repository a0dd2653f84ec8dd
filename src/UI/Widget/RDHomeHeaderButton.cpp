#include "RDHomeHeaderButton.h"

#include "RDDefaultFont.h"

#include <QFontMetrics>
#include <QPainter>

RDHomeHeaderButton::RDHomeHeaderButton(QWidget *parent)
    : RDDialogButton(parent)
{
    setFont(defaultFont());
    setColors(QColor(255, 255, 255, 0), QColor(0, 0, 0, 32));
}

void RDHomeHeaderButton::setImage(const QPixmap &image)
{
    m_image = image;
    update();
}

void RDHomeHeaderButton::setText(const QString &text)
{
    m_text = text;
    update();
}

QSize RDHomeHeaderButton::sizeHint() const
{
    const QSize text = QFontMetrics(font()).boundingRect(QRect(), Qt::AlignLeft | Qt::AlignVCenter, m_text).size();
    const int height = text.height() >= 20 ? text.height() + 4 : 24;
    return QSize(text.width() + 30, height);
}

void RDHomeHeaderButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintBackground(&painter);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setFont(font());
    if (!m_image.isNull()) {
        // The image keeps its aspect inside the 20 x 20 square.
        const QSize size = m_image.size().scaled(20, 20, Qt::KeepAspectRatio);
        painter.drawPixmap(QRect(5 + (20 - size.width()) / 2, 2 + (20 - size.height()) / 2, size.width(),
                                 size.height()),
                           m_image);
    }
    painter.setPen(QColor(0, 0, 0));
    painter.drawText(QRect(25, 2, width() - 30, height() - 4), Qt::AlignLeft | Qt::AlignVCenter, m_text);
}
