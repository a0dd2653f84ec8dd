#include "FakePrayService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

FakePrayService::FakePrayService(Handler handler)
    : m_handler(std::move(handler))
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listenFd, 16) != 0
        || ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

FakePrayService::~FakePrayService()
{
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

QString FakePrayService::url() const
{
    return m_port ? QStringLiteral("http://127.0.0.1:%1").arg(m_port) : QString();
}

QStringList FakePrayService::targets() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_targets;
}

void FakePrayService::serve()
{
    while (!m_stop.load()) {
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        answer(fd);
        ::close(fd);
    }
}

void FakePrayService::answer(int fd)
{
    QByteArray head;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!head.contains("\r\n\r\n") && std::chrono::steady_clock::now() < deadline && !m_stop.load()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return;
        head.append(buffer, int(n));
    }
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QString target = QString::fromLatin1(requestLine.value(1));
    m_requests.fetch_add(1);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_targets.append(target);
    }
    const Reply reply = m_handler(target);
    if (reply.hang) {
        while (!m_stop.load()) {
            pollfd p{fd, POLLIN, 0};
            char buffer[256];
            // The client gave up: the connection closes.
            if (::poll(&p, 1, 50) > 0 && ::read(fd, buffer, sizeof buffer) <= 0)
                return;
        }
        return;
    }
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + (reply.status == 200 ? " OK" : " Error")
                     + "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: "
                     + QByteArray::number(reply.body.size()) + "\r\n\r\n" + reply.body;
    const char *data = out.constData();
    qint64 left = out.size();
    while (left > 0) {
        const ssize_t n = ::send(fd, data, size_t(left), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        data += n;
        left -= n;
    }
}

QByteArray FakePrayService::monthAnswer(int year, int month, int days, const QString &dhuhr, const QString &isha,
                                        const QString &midnight)
{
    QJsonArray data;
    for (int day = 1; day <= days; ++day) {
        QJsonObject timings{{"Fajr", "04:31 (EET)"},    {"Sunrise", "06:02 (EET)"}, {"Dhuhr", dhuhr},
                            {"Asr", "14:53 (EET)"},     {"Sunset", "17:31 (EET)"},  {"Maghrib", "17:31 (EET)"},
                            {"Isha", isha},             {"Imsak", "04:21 (EET)"},   {"Midnight", midnight}};
        QJsonObject gregorian{{"date", QStringLiteral("%1-%2-%3").arg(day).arg(month).arg(year)},
                              {"day", QStringLiteral("%1").arg(day, 2, 10, QLatin1Char('0'))},
                              {"month", QJsonObject{{"number", month}, {"en", "Month"}}},
                              {"year", QString::number(year)}};
        QJsonObject meta{{"latitude", 30.0444196}, {"longitude", 31.2357116}, {"timezone", "Africa/Cairo"}};
        data.append(QJsonObject{{"timings", timings},
                                {"date", QJsonObject{{"readable", "day"}, {"gregorian", gregorian}}},
                                {"meta", meta}});
    }
    return QJsonDocument(QJsonObject{{"code", 200}, {"status", "OK"}, {"data", data}}).toJson(QJsonDocument::Compact);
}
