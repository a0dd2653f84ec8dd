#include "RDPrayQueryDialog.h"

#include "PAPrayCalendar.h"
#include "RDLog.h"
#include "RDUtils.h"
#include "Velmar.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

RDPrayQueryDialog::RDPrayQueryDialog(QWidget *parent)
    : RDLoadingDialog(parent)
{
    RDPrayQueryDialog::languageChanged();
}

RDPrayQueryDialog::~RDPrayQueryDialog()
{
    // The work uses this object's members: it ends before they go.
    endWork();
}

void RDPrayQueryDialog::languageChanged()
{
    RDLoadingDialog::languageChanged();
    setMessage(RDLocalize::text(QStringLiteral("Getting Prayer Times")));
}

void RDPrayQueryDialog::setQuery(const QString &address, int method, int school, int latitudeAdjustmentMethod)
{
    m_address = address;
    m_method = method;
    m_school = school;
    m_latitudeMethod = latitudeAdjustmentMethod;
}

void RDPrayQueryDialog::setYearMonth(int year, int month)
{
    m_year = year;
    m_month = month;
}

QVector<PAPrayDay> RDPrayQueryDialog::days() const
{
    return m_days;
}

void RDPrayQueryDialog::doWork()
{
    const QString path =
        Velmar::prayCacheFile(m_address, m_method, m_school, m_latitudeMethod, m_year, m_month);
    QFile cache(path);
    if (cache.open(QIODevice::ReadOnly) && cache.size() <= PAPrayCalendar::kMaxAnswerBytes)
        m_days = parsePrayDays(cache.readAll());
    cache.close();
    if (m_days.isEmpty()) {
        const QString url =
            prayCalendarUrl(m_address, m_method, m_school, m_latitudeMethod, m_year, m_month);
        QByteArray answer;
        if (m_request.get(url, answer) == 0) {
            m_days = parsePrayDays(answer);
            QDir().mkpath(QFileInfo(path).absolutePath());
            if (!writeFile(path, answer))
                RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "cannot write the prayer cache %s\n",
                            qPrintable(path));
        }
    }
    // A closed dialog has its result already.
    if (!isThreadFinished())
        dismiss();
}

void RDPrayQueryDialog::cancelWork()
{
    m_request.abort();
}
