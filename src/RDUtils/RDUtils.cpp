#include "RDUtils.h"

#include "PlatformAutostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QPainter>

#include <qrencode.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>

void copyFile(const QString &from, const QString &to)
{
    QFile::copy(from, to);
}

bool removeFile(const QString &path)
{
    if (!QFile::exists(path))
        return false;
    return QFile::remove(path);
}

bool makeDir(const QString &path)
{
    QDir dir(path);
    if (!dir.exists())
        QDir().mkdir(path);
    return dir.exists();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    // A short write (full disk, file size limit) must not pass for a saved file.
    const bool written = f.write(data) == data.size();
    const bool flushed = f.flush();
    f.close();
    return written && flushed && f.error() == QFileDevice::NoError;
}

bool hasNonAscii(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

QString normalizeIpText(const QString &text)
{
    QString out = text;
    out.replace(QChar(0xFF1A), QChar(':'));
    out.replace(QChar(0x3002), QChar('.'));
    return out;
}

QString localTimeNowText()
{
    static std::atomic<std::time_t> zoneReadAt{0};
    const std::time_t now = std::time(nullptr);
    std::time_t readAt = zoneReadAt.load(std::memory_order_relaxed);
    // localtime_r keeps the zone it read first; a changed system zone is
    // picked up within a minute.
    if ((now - readAt >= 60 || now < readAt)
        && zoneReadAt.compare_exchange_strong(readAt, now, std::memory_order_relaxed))
        ::tzset();
    const std::tm &local = localTimeOf(now);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return QString::fromLatin1(text);
}

const std::tm &localTimeOf(std::time_t secs)
{
    thread_local std::time_t convertedSecond = -1;
    thread_local std::tm local {};
    if (secs != convertedSecond) {
        ::localtime_r(&secs, &local);
        convertedSecond = secs;
    }
    return local;
}

QString formatDuration(double seconds)
{
    // Converting NaN, an infinity or anything beyond long long is undefined:
    // a length that cannot be a real one shows as no length.
    if (!(std::fabs(seconds) < 1e15))
        seconds = 0;
    const long long s = static_cast<long long>(std::trunc(seconds));
    char buf[64];
    if (s > 3600)
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%02lld:%02lld", s / 60, s % 60);
    return QString::fromLatin1(buf);
}

QString fileBaseName(const QString &path)
{
    if (path.isEmpty())
        return QString();
    const int sep = qMax(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    const QString name = (sep < 0 || sep == path.size() - 1) ? path : path.mid(sep + 1);
    const int dot = name.lastIndexOf('.');
    if (dot >= 0 && dot != name.size() - 1)
        return name.left(dot);
    return name;
}

QString fileSuffix(const QString &name)
{
    const int dot = name.lastIndexOf('.');
    if (dot < 0 || dot == name.size() - 1)
        return name;
    return name.mid(dot + 1);
}

bool isValidIpAddress(const QString &text)
{
    const int colon = text.indexOf(':');
    const QString address = colon >= 0 ? text.left(colon) : text;
    QHostAddress host;
    return host.setAddress(address);
}

QColor rdThemeColor()
{
    return QColor(53, 141, 0, 255);
}

QColor rdThemeColor(QColor &color)
{
    color = rdThemeColor();
    return color;
}

QImage createQRCodeImage(const QString &text, int width, int height, int size)
{
    if (width <= 0 || height <= 0)
        return QImage();
    const QByteArray utf8 = text.toUtf8();
    QRcode *code = QRcode_encodeString(utf8.constData(), 2, QR_ECLEVEL_Q, QR_MODE_8, 1);
    if (!code)
        return QImage();

    const int n = qMax(1, code->width);
    const double module = static_cast<double>(size) / n;
    const int offsetX = (width - size) / 2;
    const int offsetY = (height - size) / 2;

    QImage image(width, height, QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    painter.fillRect(image.rect(), Qt::white);
    painter.setBrush(Qt::black);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            if (code->data[y * code->width + x] & 1)
                painter.drawRect(QRectF(x * module + offsetX, y * module + offsetY, module, module));
        }
    }
    painter.end();
    QRcode_free(code);
    return image;
}

bool enableAutoStart()
{
    const QString app = QCoreApplication::applicationName();
    const QString program = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    if (Platform::autostartProgram(app) == program)
        return true;
    return Platform::writeAutostartEntry(app, program);
}

bool disableAutoStart()
{
    return Platform::removeAutostartEntry(QCoreApplication::applicationName());
}
