#include "PlatformAutostart.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>

namespace Platform {

static QMutex s_folderLock;
static QString s_folder;

QString autostartFolder()
{
    {
        QMutexLocker locker(&s_folderLock);
        if (!s_folder.isEmpty())
            return s_folder;
    }
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart");
}

void setAutostartFolder(const QString &folder)
{
    QMutexLocker locker(&s_folderLock);
    s_folder = folder;
}

QString autostartEntryPath(const QString &appName)
{
    // Desktop file ids keep to letters, digits, '-', '_' and '.'.
    QString id;
    for (QChar c : appName) {
        const ushort u = c.unicode();
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')
            || u == '-' || u == '_' || u == '.';
        id.append(plain ? c : QChar('-'));
    }
    if (id.isEmpty() || id.startsWith('.'))
        id.prepend(QStringLiteral("app"));
    return autostartFolder() + '/' + id + QStringLiteral(".desktop");
}

// Exec= quoting of freedesktop.org desktop entries: the program goes in
// double quotes, and '"', '`', '$' and '\' inside them take a backslash.
// The value is then a string value, whose own escape turns '\' into "\\".
static QString quoteExec(const QString &program)
{
    QString quoted;
    for (QChar c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted.append('\\');
        quoted.append(c);
    }
    quoted = '"' + quoted + '"';
    quoted.replace('\\', QStringLiteral("\\\\"));
    return quoted;
}

static QString unquoteExec(QString value)
{
    // Undo the string-value escape first, then the Exec quoting.
    QString s;
    for (int i = 0; i < value.size(); ++i) {
        if (value.at(i) == '\\' && i + 1 < value.size()) {
            const QChar n = value.at(++i);
            s.append(n == 's' ? QChar(' ') : n == 'n' ? QChar('\n') : n == 't' ? QChar('\t') : n);
        } else {
            s.append(value.at(i));
        }
    }
    if (s.size() >= 2 && s.startsWith('"')) {
        QString out;
        for (int i = 1; i < s.size(); ++i) {
            const QChar c = s.at(i);
            if (c == '"')
                break;
            if (c == '\\' && i + 1 < s.size())
                out.append(s.at(++i));
            else
                out.append(c);
        }
        return out;
    }
    return s.section(' ', 0, 0);
}

QString autostartProgram(const QString &appName)
{
    QFile f(autostartEntryPath(appName));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith("Exec="))
            return unquoteExec(QString::fromUtf8(line.mid(5)));
    }
    return QString();
}

bool writeAutostartEntry(const QString &appName, const QString &program)
{
    const QString path = autostartEntryPath(appName);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QString name = appName;
    name.replace('\n', ' ').replace('\r', ' ');
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Version=1.0\n"
                                        "Name=%1\n"
                                        "Exec=%2\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(name, quoteExec(program));
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text.toUtf8();
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

bool removeAutostartEntry(const QString &appName)
{
    const QString path = autostartEntryPath(appName);
    if (!QFileInfo::exists(path))
        return true;
    return QFile::remove(path);
}

} // namespace Platform
