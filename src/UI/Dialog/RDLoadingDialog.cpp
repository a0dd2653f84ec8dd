#include "RDLoadingDialog.h"

#include "FSManager.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

RDLoadingDialog::RDLoadingDialog(QWidget *parent, std::function<bool()> isReady)
    : QDialog(parent)
    , m_isReady(std::move(isReady))
    , m_text(new QLabel(this))
    , m_exit(new QPushButton(this))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("RDLoadingDialog"));
    setModal(true);
    if (!m_isReady) {
        m_isReady = [] {
            FSManager *manager = FSManager::instance();
            return manager && manager->isReady();
        };
    }
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setMinimumWidth(320);
    m_exit->setObjectName(QStringLiteral("exitButton"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_exit, 0, Qt::AlignRight);
    connect(m_exit, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_timer, &QTimer::timeout, this, &RDLoadingDialog::poll);
    m_timer->start(200);
    // A switch that is ready already ends the dialog as soon as it runs.
    QTimer::singleShot(0, this, &RDLoadingDialog::poll);
    languageChanged();
}

RDLoadingDialog::~RDLoadingDialog() = default;

void RDLoadingDialog::languageChanged()
{
    setWindowTitle(RDLocalize::text(QStringLiteral("Loading")));
    m_text->setText(RDLocalize::text(QStringLiteral("Starting the switch, please wait")));
    m_exit->setText(RDLocalize::text(QStringLiteral("Exit")));
}

void RDLoadingDialog::poll()
{
    if (isVisible() && m_isReady())
        accept();
}
