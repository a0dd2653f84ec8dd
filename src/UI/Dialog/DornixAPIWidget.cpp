#include "DornixAPIWidget.h"

#include "KelCode.h"
#include "RDLabel.h"
#include "RDConfigure.h"
#include "RDPixmapWidget.h"
#include "RDQRCodeDialog.h"
#include "RDUtils.h"
#include "Velmar.h"

#include <QCheckBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <initializer_list>

namespace {

QPixmap smallCode(const QString &text)
{
    if (text.isEmpty())
        return QPixmap();
    return QPixmap::fromImage(createQRCodeImage(text, 25, 25, 25));
}

// A group's widgets follow its box; its QR icon shows only when enabled.
void enableGroup(bool on, std::initializer_list<QWidget *> widgets, QWidget *icon)
{
    for (QWidget *w : widgets)
        w->setEnabled(on);
    if (icon)
        icon->setVisible(on);
}

void showCode(const QString &qrText, const QString &caption)
{
    RDQRCodeDialog dialog;
    dialog.setCode(qrText, caption);
    dialog.exec();
}

} // namespace

DornixAPIWidget::DornixAPIWidget(QWidget *parent)
    : RDToast(parent)
    , m_p2p(new QCheckBox(this))
    , m_p2pCaption(new QLabel(this))
    , m_codeCaption(new QLabel(this))
    , m_code(new QLineEdit(this))
    , m_codeIcon(new RDPixmapWidget(this))
    , m_ip(new QCheckBox(this))
    , m_ipCaption(new QLabel(this))
    , m_portCaption(new QLabel(this))
    , m_port(new QLineEdit(this))
    , m_ipIcon(new RDPixmapWidget(this))
    , m_auth(new QCheckBox(this))
    , m_authCaption(new QLabel(this))
    , m_userCaption(new QLabel(this))
    , m_user(new QLineEdit(this))
    , m_passwordCaption(new QLabel(this))
    , m_password(new QLineEdit(this))
    , m_save(new QPushButton(this))
{
    // A WebSocket port is at most 65535; 0 (or empty) means no server.
    m_port->setValidator(new QIntValidator(0, 65535, m_port));
    for (RDPixmapWidget *icon : {m_codeIcon, m_ipIcon})
        icon->setCursor(Qt::PointingHandCursor);

    DornixAPIWidget::languageChanged();

    connect(m_p2p, &QCheckBox::toggled, this, [this] { updateP2P(); });
    connect(m_ip, &QCheckBox::toggled, this, [this] { updateIp(); });
    connect(m_auth, &QCheckBox::toggled, this, [this] { updateAuth(); });
    connect(m_codeIcon, &RDPixmapWidget::clicked, this, &DornixAPIWidget::onClickCodeWidget);
    connect(m_ipIcon, &RDPixmapWidget::clicked, this, &DornixAPIWidget::onClickAPIWidget);
    connect(m_save, &QPushButton::clicked, this, &DornixAPIWidget::onClickSave);
    updateP2P();
    updateIp();
    updateAuth();
}

DornixAPIWidget::~DornixAPIWidget() = default;

QString DornixAPIWidget::ipConnectionText(const QString &port)
{
    const QString ip = Velmar::instance() ? Velmar::instance()->internalIp() : QString();
    return QStringLiteral("%1:%2").arg(ip, port);
}

QString DornixAPIWidget::ipConnectionCode(const QString &port)
{
    return KelCode::encode(ipConnectionText(port));
}

void DornixAPIWidget::updateP2P()
{
    enableGroup(m_p2p->isChecked(), {m_p2pCaption, m_codeCaption, m_code}, m_codeIcon);
}

void DornixAPIWidget::updateIp()
{
    enableGroup(m_ip->isChecked(), {m_ipCaption, m_portCaption, m_port}, m_ipIcon);
}

void DornixAPIWidget::updateAuth()
{
    enableGroup(m_auth->isChecked(), {m_authCaption, m_userCaption, m_user, m_passwordCaption, m_password}, nullptr);
}

void DornixAPIWidget::load()
{
    RDConfigure conf;
    {
        const QSignalBlocker a(m_p2p), b(m_ip), c(m_auth);
        m_p2p->setChecked(conf.kelCodeEnable() != 0);
        m_ip->setChecked(conf.wsEnable() != 0);
        m_auth->setChecked(conf.authEnable() != 0);
    }
    m_code->setText(conf.kelCode());
    if (m_p2p->isChecked())
        m_codeIcon->setPixmap(smallCode(m_code->text()));
    m_port->setText(QString::number(conf.wsPort()));
    m_ipIcon->setPixmap(m_ip->isChecked() ? smallCode(ipConnectionCode(m_port->text())) : QPixmap());
    m_user->setText(conf.authUsername());
    m_password->setText(conf.authPassword());
    updateP2P();
    updateIp();
    updateAuth();
}

void DornixAPIWidget::onClickCodeWidget()
{
    showCode(m_code->text(), m_code->text());
}

void DornixAPIWidget::onClickAPIWidget()
{
    showCode(ipConnectionCode(m_port->text()), ipConnectionText(m_port->text()));
}

void DornixAPIWidget::onClickSave()
{
    Velmar *velmar = Velmar::instance();
    RDConfigure conf;

    const int p2p = m_p2p->isChecked() ? 1 : 0;
    const QString code = m_code->text();
    conf.setKelCodeEnable(p2p);
    conf.setKelCode(code);
    if (velmar)
        velmar->setKelCode(p2p, code);

    const int ws = m_ip->isChecked() ? 1 : 0;
    bool ok = false;
    int port = m_port->text().toInt(&ok, 10);
    if (!ok || port < 0 || port > 65535)
        port = 0;
    conf.setWsEnable(ws);
    conf.setWsPort(port);
    if (velmar)
        velmar->setWebSocket(ws, port);

    const int auth = m_auth->isChecked() ? 1 : 0;
    conf.setAuthEnable(auth);
    conf.setAuthUsername(m_user->text());
    conf.setAuthPassword(m_password->text());
    if (velmar)
        velmar->setAuth(auth, m_user->text(), m_password->text());

    load();
    showToast(RDLocalize::text(QStringLiteral("Save Success")), Qt::AlignHCenter | Qt::AlignBottom, 5, 5);
}

void DornixAPIWidget::languageChanged()
{
    m_p2pCaption->setText(RDLocalize::text(QStringLiteral("Enable P2P Connection")));
    m_codeCaption->setText(RDLocalize::text(QStringLiteral("P2P Code")));
    m_code->setPlaceholderText(RDLocalize::text(QStringLiteral("P2P Code")));
    m_ipCaption->setText(RDLocalize::text(QStringLiteral("Enable IP Address Connection")));
    m_portCaption->setText(RDLocalize::text(QStringLiteral("Port")));
    m_port->setPlaceholderText(QString());
    m_authCaption->setText(RDLocalize::text(QStringLiteral("Enable Auth")));
    m_userCaption->setText(RDLocalize::text(QStringLiteral("Username")));
    m_passwordCaption->setText(RDLocalize::text(QStringLiteral("Password")));
    m_save->setText(RDLocalize::text(QStringLiteral("Save")));
}

void DornixAPIWidget::resizeEvent(QResizeEvent *event)
{
    RDToast::resizeEvent(event);
    for (QWidget *w : {static_cast<QWidget *>(m_p2p), static_cast<QWidget *>(m_ip), static_cast<QWidget *>(m_auth),
                       static_cast<QWidget *>(m_p2pCaption), static_cast<QWidget *>(m_ipCaption),
                       static_cast<QWidget *>(m_authCaption), static_cast<QWidget *>(m_codeCaption),
                       static_cast<QWidget *>(m_portCaption), static_cast<QWidget *>(m_userCaption),
                       static_cast<QWidget *>(m_passwordCaption)})
        w->adjustSize();
    int L = 0;
    for (QLabel *l : {m_codeCaption, m_portCaption, m_userCaption, m_passwordCaption})
        L = std::max(L, l->width());
    int y = 10;
    auto enableRow = [&](QCheckBox *box, QLabel *caption) {
        box->move(10, y + (25 - box->height()) / 2);
        caption->setGeometry(box->geometry().right() + 1 + 5, y, caption->width(), 25);
        y += 25 + 10;
    };
    auto fieldRow = [&](QLabel *caption, QLineEdit *field, QWidget *icon) {
        caption->setGeometry(10, y, L, 25);
        field->setGeometry(10 + L + 10, y, 230, 25);
        if (icon)
            icon->setGeometry(L + 270, y, 25, 25);
    };
    enableRow(m_ip, m_ipCaption);
    fieldRow(m_portCaption, m_port, m_ipIcon);
    y += 25 + 40;
    enableRow(m_p2p, m_p2pCaption);
    fieldRow(m_codeCaption, m_code, m_codeIcon);
    y += 25 + 40;
    enableRow(m_auth, m_authCaption);
    fieldRow(m_userCaption, m_user, nullptr);
    y += 25 + 10;
    fieldRow(m_passwordCaption, m_password, nullptr);
    m_save->adjustSize();
    m_save->setGeometry(L + 270, y, m_save->width(), 25);
}
