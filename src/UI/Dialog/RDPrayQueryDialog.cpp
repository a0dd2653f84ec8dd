#include "RDPrayQueryDialog.h"

#include "PAPrayCalendar.h"
#include "RDLog.h"
#include "RDUtils.h"
#include "Velmar.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

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
        if (fetch(url, answer) == 0) {
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

int RDPrayQueryDialog::fetch(const QString &url, QByteArray &answer)
{
    answer.clear();
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&manager, &QNetworkAccessManager::finished, &loop, &QEventLoop::quit);
    QNetworkReply *reply = manager.get(request);
    bool tooLarge = false;
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop, [&](qint64 received, qint64) {
        if (received > PAPrayCalendar::kMaxAnswerBytes) {
            tooLarge = true;
            loop.quit();
        }
    });

    bool cancelled;
    {
        std::lock_guard<std::mutex> guard(m_loopLock);
        cancelled = m_cancelled;
        if (!cancelled)
            m_loop = &loop;
    }
    if (!cancelled) {
        timer.start(PAPrayCalendar::requestTimeoutMs());
        loop.exec();
        std::lock_guard<std::mutex> guard(m_loopLock);
        m_loop = nullptr;
        cancelled = m_cancelled;
    }

    int result;
    if (cancelled || tooLarge || !reply->isFinished()) {
        // What arrived of an unfinished answer is no timetable: nothing of
        // it reaches the cache.
        reply->abort();
        result = tooLarge ? int(QNetworkReply::UnknownContentError) : int(QNetworkReply::OperationCanceledError);
    } else {
        result = int(reply->error());
        if (result == 0)
            answer = reply->readAll();
    }
    delete reply;
    return result;
}

void RDPrayQueryDialog::cancelWork()
{
    std::lock_guard<std::mutex> guard(m_loopLock);
    m_cancelled = true;
    // The loop runs on the worker: it quits there, whether its exec() has
    // begun or is just about to.
    if (m_loop)
        QMetaObject::invokeMethod(m_loop, "quit", Qt::QueuedConnection);
}
