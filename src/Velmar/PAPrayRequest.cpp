#include "PAPrayRequest.h"

#include "PAPrayCalendar.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

int PAPrayRequest::get(const QString &url, QByteArray &out)
{
    out.clear();
    ++m_count;
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool ended = false;
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QNetworkReply *reply = manager.get(request);
    QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    bool tooLarge = false;
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop, [&](qint64 received, qint64) {
        if (received > PAPrayCalendar::kMaxAnswerBytes) {
            tooLarge = true;
            loop.quit();
        }
    });

    bool aborted;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        aborted = m_aborted;
        if (!aborted)
            m_pending = &loop;
    }
    if (!aborted) {
        timer.start(PAPrayCalendar::requestTimeoutMs());
        loop.exec();
        std::lock_guard<std::mutex> guard(m_lock);
        m_pending = nullptr;
        aborted = m_aborted;
    }

    int result;
    if (!ended || aborted || tooLarge) {
        reply->abort();
        result = aborted || !ended ? int(QNetworkReply::OperationCanceledError)
                                   : int(QNetworkReply::UnknownContentError);
    } else {
        timer.stop();
        result = int(reply->error());
        if (result == 0 && reply->isReadable())
            out = reply->readAll();
    }
    delete reply;
    return result;
}

void PAPrayRequest::abort()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_aborted = true;
    // The loop runs on the requesting thread: it quits there, whether its
    // exec() has begun or is just about to.
    if (m_pending)
        QMetaObject::invokeMethod(m_pending, "quit", Qt::QueuedConnection);
}

bool PAPrayRequest::isAborted() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_aborted;
}
