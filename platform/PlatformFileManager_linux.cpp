#include "PlatformFileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QUrl>

namespace Platform {

static QMutex s_handlerLock;
static std::function<void(const QString &)> s_handler;

bool showInFileManager(const QString &path)
{
    {
        QMutexLocker locker(&s_handlerLock);
        if (s_handler) {
            const auto handler = s_handler;
            locker.unlock();
            handler(path);
            return true;
        }
    }
    const QFileInfo info(path);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(info.absoluteFilePath()).toString()} << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
    }
    return QProcess::startDetached(QStringLiteral("xdg-open"), {info.absolutePath()});
}

void setFileManagerHandler(const std::function<void(const QString &)> &handler)
{
    QMutexLocker locker(&s_handlerLock);
    s_handler = handler;
}

} // namespace Platform
