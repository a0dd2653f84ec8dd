#pragma once

#include "PlatformWakeEvent.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QVector>

#include <functional>
#include <mutex>
#include <thread>

// A loopback HTTP listener on its own thread, standing in for a route the
// code under test reports to: it records each request, hands its
// form-encoded body to the callback before the answer goes out (as the
// program's routes do), then answers "200" with the text "Success" and
// closes. Its own thread, so it answers while the test's thread is blocked
// (waiting for a switch console, say).
class HttpCaptureListener
{
public:
    using Callback = std::function<void(const QMap<QString, QString> &form)>;

    explicit HttpCaptureListener(Callback onRequest = nullptr);
    ~HttpCaptureListener();
    HttpCaptureListener(const HttpCaptureListener &) = delete;
    HttpCaptureListener &operator=(const HttpCaptureListener &) = delete;

    // 0 when the listener could not be set up.
    int port() const { return m_port; }
    // Every request in full (head and body), in arrival order.
    QList<QByteArray> requests() const;
    // The form-encoded body of each request, percent-decoded.
    QVector<QMap<QString, QString>> forms() const;

private:
    void serve();
    void answer(int connection);

    Callback m_onRequest;
    int m_fd = -1;
    int m_port = 0;
    PlatformWakeEvent m_stop;
    mutable std::mutex m_mutex;
    QList<QByteArray> m_requests;
    QVector<QMap<QString, QString>> m_forms;
    std::thread m_thread;
};
