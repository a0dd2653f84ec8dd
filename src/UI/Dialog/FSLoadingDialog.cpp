#include "FSLoadingDialog.h"

#include "FSManager.h"

#include <chrono>

FSLoadingDialog::FSLoadingDialog(QWidget *parent, std::function<bool()> isReady)
    : RDLoadingDialog(parent)
    , m_isReady(std::move(isReady))
{
    setObjectName(QStringLiteral("FSLoadingDialog"));
    if (!m_isReady) {
        m_isReady = [] {
            FSManager *manager = FSManager::instance();
            return manager && manager->isReady();
        };
    }
    FSLoadingDialog::languageChanged();
}

FSLoadingDialog::~FSLoadingDialog()
{
    endWork();
}

void FSLoadingDialog::languageChanged()
{
    RDLoadingDialog::languageChanged();
    setMessage(RDLocalize::text(QStringLiteral("Starting Application")));
}

void FSLoadingDialog::doWork()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = false;
    }
    while (!isThreadFinished()) {
        if (m_isReady()) {
            accpetDialog();
            return;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_cancelled; });
        if (m_cancelled)
            return;
    }
}

void FSLoadingDialog::cancelWork()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = true;
    m_wake.notify_all();
}
