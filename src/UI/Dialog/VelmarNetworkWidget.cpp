#include "VelmarNetworkWidget.h"

#include "FSManager.h"
#include "FSRestartDialog.h"
#include "PAAlertDialog.h"
#include "RDConfigure.h"
#include "RDLabel.h"
#include "RDNetworkAdapter.h"
#include "RDNetworkSelectDialog.h"
#include "RDSocket.h"
#include "RDUtils.h"
#include "RDWidget.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace {

const QColor kTheme(53, 141, 0);
const char *const kCodecNames[4] = {"PCMU", "PCMA", "G722", "OPUS"};
// Order of the stored list, whatever order the boxes stand in.
const int kStoredOrder[4] = {3, 2, 0, 1};
// Order on screen.
const int kScreenOrder[4] = {3, 2, 0, 1};

// A port field's value, 0 when it is not a number in 1..65535.
int portOf(const QLineEdit *edit)
{
    bool ok = false;
    const int port = edit->text().trimmed().toInt(&ok, 10);
    return ok && port >= 1 && port <= 65535 ? port : 0;
}

RDLabel *button(QWidget *parent)
{
    auto *b = new RDLabel(parent);
    b->setBackgroundColor(kTheme);
    b->setTextColor(Qt::white);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

} // namespace

VelmarNetworkWidget::VelmarNetworkWidget(QWidget *parent)
    : RDToast(parent)
    , m_localIpCaption(new QLabel(this))
    , m_localIp(new QLineEdit(this))
    , m_select(button(this))
    , m_netmaskCaption(new QLabel(this))
    , m_netmask(new QLineEdit(this))
    , m_internalPortCaption(new QLabel(this))
    , m_internalPort(new QLineEdit(this))
    , m_nat(new QCheckBox(this))
    , m_natCaption(new RDLabel(this))
    , m_natIp(new QLineEdit(this))
    , m_externalPortCaption(new QLabel(this))
    , m_externalPort(new QLineEdit(this))
    , m_codecCaption(new QLabel(this))
    , m_rtpCaption(new QLabel(this))
    , m_separator(new RDWidget(this))
    , m_rtpStart(new QLineEdit(this))
    , m_rtpEnd(new QLineEdit(this))
    , m_save(button(this))
{
    m_natCaption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_natCaption->setTextColor(QColor(0, 0, 0));
    m_natCaption->setCursor(Qt::PointingHandCursor);
    m_codecCaption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int i = 0; i < 4; ++i) {
        m_codecs[i] = new QCheckBox(this);
        m_codecLabels[i] = new QLabel(this);
    }
    m_separator->setBackgroundColor(QColor(0, 0, 0));
    m_save->setObjectName(QStringLiteral("save"));
    m_select->setObjectName(QStringLiteral("select"));

    VelmarNetworkWidget::languageChanged();

    connect(m_save, &RDLabel::clicked, this, &VelmarNetworkWidget::onClickOKButton);
    connect(m_select, &RDLabel::clicked, this, &VelmarNetworkWidget::onClickSelectButton);
    connect(m_nat, &QCheckBox::toggled, this, &VelmarNetworkWidget::onNatToggled);
    connect(m_natCaption, &RDLabel::clicked, this, [this] { m_nat->setChecked(!m_nat->isChecked()); });
}

VelmarNetworkWidget::~VelmarNetworkWidget() = default;

QString VelmarNetworkWidget::codecList() const
{
    QStringList names;
    for (int i : kStoredOrder) {
        if (m_codecs[i]->isChecked())
            names << QLatin1String(kCodecNames[i]);
    }
    return names.join(QLatin1Char(','));
}

void VelmarNetworkWidget::load()
{
    FSManager *manager = FSManager::instance();
    if (!manager)
        return;
    m_localIp->setText(manager->internalIp());
    m_netmask->setText(manager->internalNetmask());
    m_internalPort->setText(QString::number(manager->internalPort()));
    {
        const QSignalBlocker block(m_nat);
        m_nat->setChecked(manager->isNatEnabled());
    }
    m_natCaption->setTextColor(m_nat->isChecked() ? QColor(0, 0, 0) : QColor(128, 128, 128));
    m_natIp->setEnabled(m_nat->isChecked());
    m_natIp->setText(manager->externalIp());
    m_externalPort->setText(QString::number(manager->externalPort()));
    const QString codecs = manager->sipCodecs().toUpper();
    for (int i = 0; i < 4; ++i)
        m_codecs[i]->setChecked(codecs.contains(QLatin1String(kCodecNames[i])));
    m_rtpStart->setText(QString::number(manager->rtpStartPort()));
    m_rtpEnd->setText(QString::number(manager->rtpEndPort()));
}

void VelmarNetworkWidget::onNatToggled(bool checked)
{
    RDConfigure().setNatEnable(checked);
    m_natCaption->setTextColor(checked ? QColor(0, 0, 0) : QColor(128, 128, 128));
    m_natIp->setEnabled(checked);
}

void VelmarNetworkWidget::onClickSelectButton()
{
    FSManager *manager = FSManager::instance();
    if (!manager)
        return;
    RDNetworkSelectDialog dialog;
    dialog.setNetworks(listNetworkAdapters());
    dialog.selectNetwork(manager->internalIp(), manager->internalNetmask());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const RDNetworkAdapter chosen = dialog.currentNetwork();
    if (chosen.ip.isEmpty())
        return;
    m_localIp->setText(chosen.ip);
    m_netmask->setText(chosen.netmask);
}

void VelmarNetworkWidget::onClickOKButton()
{
    FSManager *manager = FSManager::instance();
    if (!manager)
        return;
    auto refuse = [this](const QString &text) {
        showToast(text, Qt::AlignHCenter | Qt::AlignBottom, 5, 5);
    };
    auto tr = [](const char *text) { return RDLocalize::text(QLatin1String(text)); };

    FSRestartDialog::Network n;
    n.internalIp = normalizeIpText(m_localIp->text().trimmed());
    n.internalNetmask = m_netmask->text().trimmed();
    n.natEnabled = m_nat->isChecked();
    n.externalIp = n.natEnabled ? normalizeIpText(m_natIp->text().trimmed()) : n.internalIp;
    n.internalPort = portOf(m_internalPort);
    n.externalPort = portOf(m_externalPort);
    n.rtpStartPort = portOf(m_rtpStart);
    n.rtpEndPort = portOf(m_rtpEnd);
    n.sipCodecs = codecList();

    if (!n.internalPort)
        return refuse(tr("Invalid SIP server port"));
    if (!n.externalPort)
        return refuse(tr("Invalid SIP trunk port"));
    if (!n.rtpStartPort)
        return refuse(tr("Invalid rtp start port"));
    if (!n.rtpEndPort)
        return refuse(tr("Invalid rtp end port"));
    if (!isValidIpAddress(n.internalIp))
        return refuse(tr("Invalid local ip"));
    if (!isValidIpAddress(n.externalIp))
        return refuse(tr("Invalid NAT IP"));
    if (n.internalPort == n.externalPort)
        return refuse(tr("SIP server port and SIP trunk port must differ"));
    for (int port : {n.internalPort, n.externalPort}) {
        if (port >= n.rtpStartPort && port <= n.rtpEndPort)
            return refuse(tr("SIP ports must lie outside the RTP port range"));
    }
    // A port the running switch holds is busy by its own hand: only a port
    // that changes must be free.
    for (const auto &port : {std::make_pair(n.internalPort, manager->internalPort()),
                             std::make_pair(n.externalPort, manager->externalPort())}) {
        if (port.first != port.second && !isTcpPortAvailable(static_cast<uint16_t>(port.first)))
            return refuse(QStringLiteral("%1 %2 %3").arg(tr("Port")).arg(port.first).arg(tr("Occupied")));
    }
    if (n.sipCodecs.isEmpty())
        return refuse(tr("Please select Audio Codec"));
    if (n.rtpStartPort > n.rtpEndPort)
        return refuse(tr("RTP start port is larger than RTP end port"));

    {
        RDConfigure conf;
        conf.setSipInternalIp(n.internalIp);
        conf.setSipInternalNetmask(n.internalNetmask);
        conf.setSipInternalPort(n.internalPort);
        conf.setSipExternalIp(n.externalIp);
        conf.setSipExternalPort(n.externalPort);
        conf.setSipCodecs(n.sipCodecs);
        conf.setRtpStartPort(n.rtpStartPort);
        conf.setRtpEndPort(n.rtpEndPort);
    }

    if (!manager->isNetworkChanged(n.internalIp, n.internalNetmask, n.internalPort, n.natEnabled, n.externalIp,
                                   n.externalPort, n.sipCodecs, n.rtpStartPort, n.rtpEndPort)) {
        refuse(tr("Save Success"));
        return;
    }
    PAAlertDialog alert;
    alert.setMessage(tr("The settings will take effect after the software is restarted.") + QLatin1Char('\n') +
                     tr("Restart now?"));
    if (alert.exec() != 1)
        return;
    // The SIP layer and the switch are swapped on the restart worker while
    // both are stopped, never under the feet of their users.
    FSRestartDialog restart(nullptr, FSRestartDialog::networkRestart(n));
    restart.startRestartThread();
    restart.exec();
}

void VelmarNetworkWidget::languageChanged()
{
    m_localIpCaption->setText(RDLocalize::text(QStringLiteral("Local IP")));
    m_select->setText(RDLocalize::text(QStringLiteral("Select")));
    m_netmaskCaption->setText(RDLocalize::text(QStringLiteral("Local Netmask")));
    m_internalPortCaption->setText(RDLocalize::text(QStringLiteral("SIP Server Port")));
    m_natCaption->setText(RDLocalize::text(QStringLiteral("NAT IP")));
    m_externalPortCaption->setText(RDLocalize::text(QStringLiteral("SIP Trunk Port")));
    m_codecCaption->setText(RDLocalize::text(QStringLiteral("Audio Codec Settings")));
    m_rtpCaption->setText(RDLocalize::text(QStringLiteral("RTP Port")));
    m_save->setText(RDLocalize::text(QStringLiteral("Save")));
    for (int i = 0; i < 4; ++i)
        m_codecLabels[i]->setText(QLatin1String(kCodecNames[i]));
}

void VelmarNetworkWidget::resizeEvent(QResizeEvent *event)
{
    RDToast::resizeEvent(event);
    const int W = width();
    const int H = height();
    const QFontMetrics fm(font());
    int column = 0;
    for (const QString &t : {m_localIpCaption->text(), m_netmaskCaption->text(), m_internalPortCaption->text(),
                             m_externalPortCaption->text(), m_natCaption->text()})
        column = std::max(column, fm.horizontalAdvance(t));
    column += 25;
    // Fields wide enough for a whole address or port in the default font.
    const int ipWidth = fm.horizontalAdvance(QStringLiteral("255.255.255.255")) + 16;
    const int portWidth = fm.horizontalAdvance(QStringLiteral("65535")) + 16;
    const int fieldX = 10 + column + 100;
    int y = 10;
    auto row = [&](QWidget *captionWidget, QLineEdit *field, int fieldWidth) {
        captionWidget->setGeometry(10, y, column, 20);
        field->setGeometry(fieldX, y, fieldWidth, 20);
        y += 35;
    };
    row(m_localIpCaption, m_localIp, ipWidth);
    m_select->setGeometry(fieldX + ipWidth + 20, 8, fm.horizontalAdvance(m_select->text()) + 20, 24);
    row(m_netmaskCaption, m_netmask, ipWidth);
    row(m_internalPortCaption, m_internalPort, portWidth);
    row(m_externalPortCaption, m_externalPort, portWidth);
    m_nat->setGeometry(10, y, 20, 20);
    m_natCaption->setGeometry(35, y, column - 25, 20);
    m_natIp->setGeometry(fieldX, y, ipWidth, 20);
    y += 35;
    m_codecCaption->setGeometry(10, y, W - 20, 20);
    y += 25;
    int x = 10;
    for (int i : kScreenOrder) {
        m_codecs[i]->setGeometry(x, y, 20, 20);
        m_codecLabels[i]->setGeometry(x + 30, y, 60, 20);
        x += 100;
    }
    y += 35;
    const int rtpCaptionWidth = fm.horizontalAdvance(m_rtpCaption->text()) + 10;
    m_rtpCaption->setGeometry(10, y, rtpCaptionWidth, 20);
    m_rtpStart->setGeometry(10 + rtpCaptionWidth + 20, y, portWidth, 20);
    m_separator->setGeometry(m_rtpStart->geometry().right() + 1 + 10, y + 9, 10, 1);
    m_rtpEnd->setGeometry(m_separator->geometry().right() + 1 + 10, y, portWidth, 20);
    m_save->setGeometry((W - 120) / 2, H - 55, 120, 25);
}
