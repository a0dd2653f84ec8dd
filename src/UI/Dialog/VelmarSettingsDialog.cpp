#include "VelmarSettingsDialog.h"

#include "DornixAPIWidget.h"
#include "DornixHelpWidget.h"
#include "PASettingsDataWidget.h"
#include "RDVerticalTabStyle.h"
#include "RDWidget.h"
#include "VelmarGeneralWidget.h"
#include "VelmarNetworkWidget.h"

#include <QFontMetrics>
#include <QTabBar>
#include <QTabWidget>

VelmarSettingsDialog::VelmarSettingsDialog(QWidget *parent)
    : RDBaseDialog(parent)
    , m_tabs(new QTabWidget(body()))
    , m_general(new VelmarGeneralWidget(body()))
    , m_system(new VelmarNetworkWidget(body()))
    , m_about(new DornixHelpWidget(body()))
    , m_appConnect(new DornixAPIWidget(body()))
    , m_data(new PASettingsDataWidget(body()))
{
    setObjectName(QStringLiteral("VelmarSettingsDialog"));
    auto *style = new RDVerticalTabStyle;
    style->setParent(m_tabs->tabBar());
    m_tabs->tabBar()->setStyle(style);
    m_tabs->setTabPosition(QTabWidget::West);
    m_tabs->addTab(m_general, QString());
    m_tabs->addTab(m_system, QString());
    m_tabs->addTab(m_about, QString());
    m_tabs->addTab(m_appConnect, QString());
    m_tabs->addTab(m_data, QString());
    setStyleSheet(QStringLiteral(
        "QTabWidget::pane{border-width:1px;border-color:rgb(128, 128, 128);                                        "
        "border-style: outset;background-color: rgba(242, 243, 245, 0);                                        "
        "background: transparent;}"));
    setMinimumSize(700, 380);
    resize(700, 380);
    connect(m_tabs, &QTabWidget::currentChanged, this, &VelmarSettingsDialog::loadPage);
    VelmarSettingsDialog::languageChanged();
}

VelmarSettingsDialog::~VelmarSettingsDialog() = default;

void VelmarSettingsDialog::loadPage(int index)
{
    if (index == 0)
        m_general->load();
    else if (index == 1)
        m_system->load();
    else if (index == 3)
        m_appConnect->load();
}

void VelmarSettingsDialog::relayoutContents(int width, int height)
{
    m_tabs->setGeometry(0, 0, width, height);
}

void VelmarSettingsDialog::languageChanged()
{
    RDBaseDialog::languageChanged();
    const char *names[] = {"General", "System", "About", "App Connect", "Data"};
    QFont font = m_tabs->tabBar()->font();
    for (int i = 0; i < 5; ++i) {
        const QString text = RDLocalize::text(QLatin1String(names[i]));
        m_tabs->setTabText(i, text);
        // The tabs are 90 px wide: a long text gets a smaller font, never a
        // cut one.
        while (font.pointSizeF() > 6 && QFontMetrics(font).horizontalAdvance(text) > 84)
            font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    m_tabs->tabBar()->setFont(font);
}
