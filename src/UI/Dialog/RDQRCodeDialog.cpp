#include "RDQRCodeDialog.h"

#include "RDDefaultFont.h"
#include "RDLabel.h"
#include "RDPixmapWidget.h"
#include "RDUtils.h"

#include <QFontMetrics>
#include <QPixmap>

#include <algorithm>

RDQRCodeDialog::RDQRCodeDialog(QWidget *parent)
    : RDDialog(parent)
    , m_image(new RDPixmapWidget(this))
    , m_caption(new RDLabel(this))
{
    setObjectName(QStringLiteral("RDQRCodeDialog"));
    QFont font = defaultFont();
    font.setWeight(75);
    font.setPixelSize(18);
    m_caption->setFont(font);
    m_caption->setTextColor(QColor(0, 0, 0));
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &RDQRCodeDialog::updateQRCodeImage);
    setMinimumSize(400, 430);
    resize(400, 430);
}

RDQRCodeDialog::~RDQRCodeDialog() = default;

void RDQRCodeDialog::setCode(const QString &qrText, const QString &caption)
{
    m_qrText = qrText;
    m_captionText = caption;
    m_caption->setText(caption);
    relayout();
    updateQRCodeImage();
}

void RDQRCodeDialog::relayout()
{
    const int h = QFontMetrics(m_caption->font()).height();
    const int W = width();
    const int H = height();
    m_caption->setGeometry(0, H - (h + 20), W, h + 20);
    m_image->setGeometry(0, 0, W, H - (h + 20));
}

void RDQRCodeDialog::resizeEvent(QResizeEvent *event)
{
    RDDialog::resizeEvent(event);
    relayout();
    m_timer.stop();
    m_timer.start(1000);
}

void RDQRCodeDialog::updateQRCodeImage()
{
    const int Wi = width();
    const int Hi = height() - m_caption->height();
    const QImage image = createQRCodeImage(m_qrText, Wi, Hi, std::min(Wi, Hi) - 20);
    m_image->setPixmap(QPixmap::fromImage(image));
    m_timer.stop();
}
