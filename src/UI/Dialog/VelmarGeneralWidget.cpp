#include "VelmarGeneralWidget.h"

#include "FSManager.h"
#include "RDConfigure.h"
#include "RDLabel.h"
#include "RDUtils.h"
#include "RDWidgetStyle.h"
#include "SwitchControl.h"
#include "Velmar.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>

namespace {

const QColor kTheme(53, 141, 0);

RDLabel *caption(QWidget *parent)
{
    auto *label = new RDLabel(parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setTextColor(QColor(0, 0, 0));
    return label;
}

void toast(RDToast *page, const char *text)
{
    page->showToast(RDLocalize::text(QLatin1String(text)), Qt::AlignHCenter | Qt::AlignBottom, 5, 5);
}

} // namespace

VelmarGeneralWidget::VelmarGeneralWidget(QWidget *parent)
    : RDToast(parent)
    , m_languageCaption(caption(this))
    , m_language(new QComboBox(this))
    , m_bootCaption(caption(this))
    , m_boot(new SwitchControl(this))
    , m_portCaption(caption(this))
    , m_port(new QLineEdit(this))
    , m_api(new QCheckBox(this))
    , m_apiCaption(caption(this))
    , m_startUrl(caption(this))
    , m_stopUrl(caption(this))
    , m_save(new RDLabel(this))
{
    applyComboBoxStyle(m_language);
    for (RDLabel *l : {m_apiCaption, m_startUrl, m_stopUrl, m_save})
        l->setCursor(Qt::PointingHandCursor);
    m_save->setBackgroundColor(kTheme);
    m_save->setTextColor(Qt::white);
    m_save->setObjectName(QStringLiteral("save"));

    RDLocalize::languages(m_languageNames, m_languageTexts);
    m_language->clear();
    for (int i = 0; i < m_languageNames.size(); ++i)
        m_language->addItem(m_languageTexts.at(i), m_languageNames.at(i));

    VelmarGeneralWidget::languageChanged();

    connect(m_language, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &VelmarGeneralWidget::onLanguageChanged);
    connect(m_boot, &SwitchControl::toggled, this, &VelmarGeneralWidget::onLuanchSwitch);
    connect(m_api, &QCheckBox::toggled, this, &VelmarGeneralWidget::onHttpApiChanged);
    connect(m_save, &RDLabel::clicked, this, &VelmarGeneralWidget::onClickOKButton);
    connect(m_apiCaption, &RDLabel::clicked, this, [this] {
        m_api->setChecked(!m_api->isChecked());
        colourApi(m_api->isChecked());
    });
    connect(m_startUrl, &RDLabel::clicked, this, [this] { copyUrl(m_startUrl); });
    connect(m_stopUrl, &RDLabel::clicked, this, [this] { copyUrl(m_stopUrl); });

    load();
}

VelmarGeneralWidget::~VelmarGeneralWidget() = default;

void VelmarGeneralWidget::load()
{
    const int row = m_languageNames.indexOf(RDLocalize::language());
    if (row >= 0) {
        const QSignalBlocker block(m_language);
        m_language->setCurrentIndex(row);
    }
    m_boot->setToggled(RDConfigure().runOnBoot());
    Velmar *velmar = Velmar::instance();
    if (!velmar)
        return;
    const int port = velmar->httpPort();
    m_port->setText(QString::number(port));
    m_api->setChecked(velmar->isApiEnabled());
    colourApi(m_api->isChecked());
    if (FSManager *manager = FSManager::instance()) {
        const QString ip = manager->internalIp();
        m_startUrl->setText(
            QStringLiteral("http://%1:%2/action?zone=3000&operation=start").arg(ip).arg(port));
        m_stopUrl->setText(QStringLiteral("http://%1:%2/action?zone=3000&operation=stop").arg(ip).arg(port));
    }
}

void VelmarGeneralWidget::onLanguageChanged(int index)
{
    if (index < 0 || index >= m_languageNames.size())
        return;
    const QString name = m_languageNames.at(index);
    if (name == RDLocalize::language())
        return;
    RDConfigure().setLanguage(name);
    RDLocalize::changeLanguage(name);
}

void VelmarGeneralWidget::onLuanchSwitch(bool checked)
{
    const bool done = checked ? enableAutoStart() : disableAutoStart();
    if (!done) {
        // The entry could not be written or removed: the switch shows what
        // the desktop will really do.
        m_boot->setToggled(!checked);
        toast(this, "Save Failure");
        return;
    }
    RDConfigure().setRunOnBoot(checked);
}

void VelmarGeneralWidget::onHttpApiChanged(bool checked)
{
    if (Velmar::instance())
        colourApi(checked);
}

void VelmarGeneralWidget::colourApi(bool checked)
{
    const QColor colour = checked ? QColor(0, 0, 0) : QColor(128, 128, 128);
    for (RDLabel *l : {m_apiCaption, m_startUrl, m_stopUrl})
        l->setTextColor(colour);
}

void VelmarGeneralWidget::copyUrl(RDLabel *label)
{
    QApplication::clipboard()->setText(label->text());
    toast(this, "Copy to clipboard");
}

void VelmarGeneralWidget::onClickOKButton()
{
    Velmar *velmar = Velmar::instance();
    if (!velmar)
        return;
    const int oldPort = velmar->httpPort();
    bool ok = false;
    int port = m_port->text().toInt(&ok, 10);
    if (!ok)
        port = 0;
    const bool enabled = m_api->isChecked();
    if (port < 1 || port > 65535) {
        toast(this, "Http server port invalid");
        return;
    }
    {
        RDConfigure conf;
        conf.setHttpServerPort(port);
        conf.setHttpApiEnable(enabled);
    }
    if (port == oldPort && !velmar->isHttpServerRunning()) {
        velmar->setApiEnabled(enabled);
    } else {
        velmar->stopHttpServer();
        if (!velmar->startHttpServer(enabled, port)) {
            // Stored for the next start, but nothing listens now.
            toast(this, "Http server start failure");
            return;
        }
    }
    toast(this, "Save Success");
}

void VelmarGeneralWidget::languageChanged()
{
    m_languageCaption->setText(RDLocalize::text(QStringLiteral("Language")));
    for (int i = 0; i < m_languageNames.size(); ++i) {
        m_languageTexts[i] = RDLocalize::lookup(m_languageNames.at(i));
        m_language->setItemText(i, m_languageTexts.at(i));
    }
    m_bootCaption->setText(RDLocalize::text(QStringLiteral("Run at Start up")));
    m_portCaption->setText(RDLocalize::text(QStringLiteral("Http API port")));
    m_apiCaption->setText(RDLocalize::text(QStringLiteral("Http API")));
    m_save->setText(RDLocalize::text(QStringLiteral("Save")));
}

void VelmarGeneralWidget::resizeEvent(QResizeEvent *event)
{
    RDToast::resizeEvent(event);
    const int W = width();
    const int H = height();
    m_languageCaption->setGeometry(10, 10, 150, 25);
    m_language->setGeometry(162, 15, 200, 25);
    m_bootCaption->setGeometry(10, 45, 150, 25);
    m_boot->setGeometry(160, 47, 45, 20);
    m_portCaption->setGeometry(10, 75, 150, 25);
    m_port->setGeometry(162, 75, 200, 25);
    const int below = m_portCaption->geometry().bottom() + 1;
    m_api->setGeometry(10, below + 13, 20, 20);
    m_apiCaption->setGeometry(m_api->geometry().right() + 1 + 5, below + 10, 125, 25);
    m_startUrl->setGeometry(162, below + 10, W - 170, 25);
    m_stopUrl->setGeometry(162, m_startUrl->geometry().bottom() + 1 + 10, W - 170, 25);
    m_save->setGeometry((W - 120) / 2, H - 55, 120, 25);
}
