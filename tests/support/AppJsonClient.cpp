#include "AppJsonClient.h"

#include "Velmar.h"

#include <QJsonDocument>

#include <chrono>

QJsonObject AppJsonClient::ask(QJsonObject request)
{
    const int id = ++m_nextId;
    request.insert(QStringLiteral("id"), id);
    if (!sendText(QJsonDocument(request).toJson(QJsonDocument::Compact)))
        return QJsonObject();
    QJsonObject reply;
    waitFor([&] {
        for (const QJsonObject &m : m_messages) {
            if (m.value(QStringLiteral("method")) == request.value(QStringLiteral("method")) &&
                m.value(QStringLiteral("id")).toInt() == id && m.contains(QStringLiteral("result"))) {
                reply = m;
                return true;
            }
        }
        return false;
    }, 10000);
    return reply;
}

int AppJsonClient::ask(const char *method, int groupId)
{
    QJsonObject request{{QStringLiteral("method"), QLatin1String(method)}};
    if (groupId)
        request.insert(QStringLiteral("groupId"), groupId);
    return ask(request).value(QStringLiteral("result")).toInt(1);
}

int AppJsonClient::login(const QString &user, const QString &password)
{
    return ask(QJsonObject{{QStringLiteral("method"), QStringLiteral("Login")},
                           {QStringLiteral("username"), user},
                           {QStringLiteral("password"), Velmar::passwordDigest(password)}})
        .value(QStringLiteral("result"))
        .toInt(1);
}

QList<QJsonObject> AppJsonClient::events(const QString &method) const
{
    QList<QJsonObject> found;
    for (const QJsonObject &m : m_messages) {
        if (m.value(QStringLiteral("method")).toString() == method && !m.contains(QStringLiteral("result")))
            found.append(m);
    }
    return found;
}

bool AppJsonClient::waitEventWith(const QString &method, const std::function<bool(const QJsonObject &)> &match)
{
    return waitFor([&] {
        for (const QJsonObject &e : events(method)) {
            if (match(e))
                return true;
        }
        return false;
    }, 15000);
}

bool AppJsonClient::waitEvent(const QString &method, int groupId)
{
    return waitEventWith(method, [groupId](const QJsonObject &e) {
        return e.value(QStringLiteral("groupId")).toInt() == groupId;
    });
}

bool AppJsonClient::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !receive(int(std::min<long long>(left.count(), 100))))
            return done();
    }
    return true;
}
