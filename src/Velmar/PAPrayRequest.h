#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>

class QEventLoop;

// One worker's requests to the prayer-times service: each a blocking GET on
// the calling thread, which runs a local event loop meanwhile. abort() may
// come from any thread at any moment: it ends the pending request at once,
// and one whose wait has not begun yet never begins it; it holds for the
// rest of this object's life (one per worker).
class PAPrayRequest
{
public:
    // 0 and the body when the service answered completely within the
    // request time-out; otherwise a QNetworkReply error code and no bytes
    // (an answer cut short by the time-out, abort() or its size is none).
    int get(const QString &url, QByteArray &out);
    void abort();
    bool isAborted() const;
    // Requests made so far.
    int count() const { return m_count.load(); }

private:
    mutable std::mutex m_lock;
    QEventLoop *m_pending = nullptr;
    bool m_aborted = false;
    std::atomic<int> m_count{0};
};
