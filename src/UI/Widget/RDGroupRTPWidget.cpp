#include "RDGroupRTPWidget.h"

#include "RDGroup.h"
#include "RDLabel.h"
#include "RDLocalize.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>

namespace {

void openWithDesktop(const QString &url)
{
    QDesktopServices::openUrl(QUrl(url));
}

RDGroupRTPWidget::UrlOpener g_opener = &openWithDesktop;

} // namespace

RDGroupRTPWidget::RDGroupRTPWidget(QWidget *parent)
    : RDWidget(parent)
    , m_rtpBox(new QCheckBox(this))
    , m_rtpLabel(new QLabel(RDLocalize::text(QStringLiteral("Enable Rtp Multicast")), this))
    , m_addressLabel(new QLabel(RDLocalize::text(QStringLiteral("RTP Address")), this))
    , m_address(new QLineEdit(this))
    , m_httpBox(new QCheckBox(this))
    , m_httpLabel(new QLabel(RDLocalize::text(QStringLiteral("Enable Http Stream")), this))
    , m_stream(new RDLabel(this))
{
    m_address->setPlaceholderText(RDLocalize::text(QStringLiteral("eg. 239.255.0.0:5008")));
    m_stream->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_stream->setTextColor(QColor(17, 32, 224));
    m_stream->setCursor(Qt::PointingHandCursor);
    connect(m_rtpBox, &QCheckBox::toggled, this, &RDGroupRTPWidget::setRtpControlsEnabled);
    connect(m_httpBox, &QCheckBox::toggled, this, &RDGroupRTPWidget::setHttpControlsEnabled);
    // A disabled label sends no clicks.
    connect(m_stream, &RDLabel::clicked, this, &RDGroupRTPWidget::onClickStreamLabel);
}

void RDGroupRTPWidget::setUrlOpenerForTesting(UrlOpener opener)
{
    g_opener = opener ? opener : &openWithDesktop;
}

void RDGroupRTPWidget::setGroup(const RDGroup &group, const QString &host, int httpPort)
{
    m_rtpBox->setChecked(group.rtpEnable != 0);
    setRtpControlsEnabled(group.rtpEnable != 0);
    m_address->setText(group.rtpUrl);
    m_httpBox->setChecked(group.httpOutputEnable != 0);
    m_stream->setText(QStringLiteral("http://%1:%2/stream/%3").arg(host).arg(httpPort).arg(group.conference));
    setHttpControlsEnabled(group.httpOutputEnable != 0);
}

void RDGroupRTPWidget::getGroup(RDGroup &group) const
{
    group.rtpEnable = m_rtpBox->isChecked() ? 1 : 0;
    group.rtpUrl = m_address->text();
    group.httpOutputEnable = m_httpBox->isChecked() ? 1 : 0;
}

void RDGroupRTPWidget::setRtpControlsEnabled(bool enabled)
{
    m_rtpLabel->setEnabled(enabled);
    m_addressLabel->setEnabled(enabled);
    m_address->setEnabled(enabled);
}

void RDGroupRTPWidget::setHttpControlsEnabled(bool enabled)
{
    m_httpLabel->setEnabled(enabled);
    m_stream->setEnabled(enabled);
}

void RDGroupRTPWidget::onClickStreamLabel()
{
    if (m_stream->isEnabled())
        g_opener(m_stream->text());
}

void RDGroupRTPWidget::resizeEvent(QResizeEvent *)
{
    m_rtpBox->setGeometry(10, 10, 20, 20);
    m_rtpLabel->setGeometry(35, 10, 200, 20);
    m_addressLabel->adjustSize();
    m_addressLabel->setGeometry(10, 40, m_addressLabel->width(), 20);
    m_address->setGeometry(m_addressLabel->geometry().right() + 10, 40, 150, 20);
    const int httpTop = m_addressLabel->geometry().bottom() + 40;
    m_httpBox->setGeometry(10, httpTop, 20, 20);
    m_httpLabel->adjustSize();
    m_httpLabel->setGeometry(35, httpTop, m_httpLabel->width(), 20);
    m_stream->setGeometry(10, m_httpLabel->geometry().bottom() + 10, width() - 20, 20);
}
