#include "SwitchDaemon.h"

#include "CommandDispatcher.h"
#include "ConsoleProtocol.h"
#include "ConsoleServer.h"
#include "ProgramWatch.h"
#include "SignalWatcher.h"
#include "SwitchEngine.h"
#include "TestHooks.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

SwitchDaemon::SwitchDaemon(const QString &packageFolder, QObject *parent)
    : QObject(parent), m_folder(packageFolder), m_runFolder(packageFolder + QLatin1Char('/') + ConsoleProtocol::kRunFolder)
{
}

SwitchDaemon::~SwitchDaemon()
{
    m_console.reset();
    if (m_engine && !m_finishing)
        m_engine->stop();
}

bool SwitchDaemon::ensureSecret(const QString &name, int bytes, QByteArray *secret, QString *error)
{
    const QString path = m_runFolder + QLatin1Char('/') + name;
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly)) {
        *secret = existing.readLine().trimmed();
        if (secret->size() >= 2 * bytes)
            return true;
        qWarning() << path << "unusable, making a new one";
        existing.close();
        QFile::remove(path);
    }
    // First start of this installation: a fresh random secret, readable by
    // this user only. Created exclusively, never through a symlink.
    QByteArray raw(bytes, '\0');
    for (char &c : raw)
        c = char(QRandomGenerator::system()->bounded(256));
    *secret = raw.toHex();
    const QByteArray p = path.toLocal8Bit();
    const int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const QByteArray line = *secret + '\n';
    const bool ok = ::write(fd, line.constData(), size_t(line.size())) == line.size();
    ::close(fd);
    if (!ok)
        *error = QStringLiteral("cannot write ") + path;
    return ok;
}

bool SwitchDaemon::writeRunFile(quint16 port, QString *error)
{
    QSaveFile f(m_runFolder + QLatin1Char('/') + ConsoleProtocol::kRunFile);
    if (!f.open(QIODevice::WriteOnly)) {
        *error = f.errorString();
        return false;
    }
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // The folder line lets a client in a copy of this folder (copied with
    // its run files while this switch runs) see that the file is not its own.
    f.write(QStringLiteral("port=%1\npid=%2\nfolder=%3\n")
                .arg(port)
                .arg(QCoreApplication::applicationPid())
                .arg(QFileInfo(m_folder).canonicalFilePath())
                .toUtf8());
    if (!f.commit()) {
        *error = f.errorString();
        return false;
    }
    return true;
}

int SwitchDaemon::start()
{
    QDir().mkpath(m_runFolder);
    ::chmod(m_runFolder.toLocal8Bit().constData(), 0700);
    QDir().mkpath(m_folder + QStringLiteral("/db"));

    // A switch whose program is gone has nobody to serve: it does not start,
    // and one that runs ends the orderly way once its program ends.
    m_programWatch = std::make_unique<ProgramWatch>();
    if (!m_programWatch->start())
        return ExitProgramGone;

    QString error;
    if (!m_lock.acquire(m_runFolder + QLatin1Char('/') + ConsoleProtocol::kLockFile, &error)) {
        qCritical() << "cannot start:" << error;
        return ExitAlreadyRunning;
    }
    // A run file left by a killed switch points at a dead port: gone until ready.
    QFile::remove(m_runFolder + QLatin1Char('/') + ConsoleProtocol::kRunFile);

    if (!m_db.open(m_folder + QStringLiteral("/db"), &error)) {
        qCritical() << "cannot start:" << error;
        return ExitStateDb;
    }
    QByteArray defaultPassword;
    if (!ensureSecret(QStringLiteral("default_password"), 12, &defaultPassword, &error)) {
        qCritical() << "cannot start:" << error;
        return ExitConfig;
    }
    m_engine = std::make_unique<SwitchEngine>(m_folder, &m_db);
    const QMap<QString, QString> baseVars{{QStringLiteral("default_password"), QString::fromLatin1(defaultPassword)}};
    if (!m_engine->start(baseVars, &error)) {
        qCritical() << "cannot start: configuration:" << error;
        return ExitConfig;
    }
    const bool hooks = qEnvironmentVariable("RUVIDAZA_TEST_HOOKS") == QLatin1String("1");
    // With the test controls on, a busy SIP port leaves the switch running
    // on simulated endpoints (tests of the program run many switches side by
    // side on the default ports); otherwise it is a start failure.
    if (!m_engine->startSip(!hooks, &error)) {
        qCritical() << "cannot start SIP:" << error;
        return ExitSip;
    }
    if (hooks)
        qWarning() << "TEST HOOKS ENABLED: console accepts simulated registrations, legs and calls";
    m_hooks = std::make_unique<TestHooks>(m_engine.get(), hooks);
    m_dispatcher = std::make_unique<CommandDispatcher>(m_engine.get(), m_hooks.get());

    QByteArray secret;
    if (!ensureSecret(QString::fromLatin1(ConsoleProtocol::kSecretFile), 32, &secret, &error)) {
        qCritical() << "cannot start:" << error;
        return ExitConsole;
    }
    m_console = std::make_unique<ConsoleServer>(m_dispatcher.get(), secret);
    if (!m_console->listen(&error) || !writeRunFile(m_console->port(), &error)) {
        qCritical() << "cannot start:" << error;
        return ExitConsole;
    }
    connect(m_console.get(), &ConsoleServer::shutdownAnswered, this, &SwitchDaemon::finish, Qt::QueuedConnection);
    m_signals = std::make_unique<SignalWatcher>();
    connect(m_signals.get(), &SignalWatcher::terminateRequested, this, &SwitchDaemon::finish);
    connect(m_programWatch.get(), &ProgramWatch::programEnded, this, &SwitchDaemon::finish);
    qInfo() << "switch ready, console on 127.0.0.1 port" << m_console->port();
    return ExitOk;
}

void SwitchDaemon::finish()
{
    if (m_finishing)
        return;
    m_finishing = true;
    qInfo() << "shutting down";
    QFile::remove(m_runFolder + QLatin1Char('/') + ConsoleProtocol::kRunFile);
    m_engine->stop();
    m_db.close();
    QCoreApplication::exit(ExitOk);
}
