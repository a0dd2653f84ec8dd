#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// A prayer-times service on 127.0.0.1 for tests: answers each GET with what
// the handler returns for its path and query. A reply may hold the
// connection without answering (a hung service) until the service stops.
class FakePrayService
{
public:
    struct Reply
    {
        int status = 200;
        QByteArray body;
        bool hang = false;
    };
    using Handler = std::function<Reply(const QString &target)>;

    explicit FakePrayService(Handler handler);
    ~FakePrayService();

    // "http://127.0.0.1:<port>", or empty when it could not listen.
    QString url() const;
    int requestCount() const { return m_requests.load(); }
    QStringList targets() const;

    // A month of `days` days of `year`-`month` in the service's answer
    // form; each day's Dhuhr is `dhuhr`, the other times fixed.
    static QByteArray monthAnswer(int year, int month, int days, const QString &dhuhr = QStringLiteral("11:47"),
                                  const QString &isha = QStringLiteral("18:58 (EET)"),
                                  const QString &midnight = QStringLiteral("23:47 (EET)"));

private:
    void serve();
    void answer(int fd);

    Handler m_handler;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    mutable std::mutex m_lock;
    QStringList m_targets;
    std::thread m_thread;
};
