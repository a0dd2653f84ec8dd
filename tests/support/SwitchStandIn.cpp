#include "SwitchStandIn.h"

#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

namespace PaTest {

namespace {

// Copies the package: executables and the shipped tree, but no runtime
// state (run/, log/, db/ contents) a developer's own runs may have left.
bool copyPackage(const QString &from, const QString &to)
{
    const QDir src(from);
    if (!src.exists(QStringLiteral("RUVidazaConsole")))
        return false;
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const QString rel = src.relativeFilePath(p);
        if (rel.startsWith(QLatin1String("run")) || rel.startsWith(QLatin1String("log/"))
            || rel.startsWith(QLatin1String("db/")))
            continue;
        const QFileInfo fi(p);
        const QString target = to + QLatin1Char('/') + rel;
        if (fi.isDir()) {
            if (!QDir().mkpath(target))
                return false;
        } else if (!QFile::copy(p, target)) {
            return false;
        }
    }
    return QDir().mkpath(to + QStringLiteral("/db")) && QDir().mkpath(to + QStringLiteral("/log"));
}

} // namespace

SwitchStandIn::SwitchStandIn(bool testHooks) : m_testHooks(testHooks)
{
    m_valid = m_dir.isValid() && copyPackage(switchDir(), m_dir.path() + QStringLiteral("/RUVIDAZA"));
    // The shipped SIP ports are the field's defaults; each copy takes free
    // ones, so switches of parallel tests never compete for a port.
    QFile conf(path(QStringLiteral("conf/custom_configs/sip_configs.xml")));
    if (m_valid && conf.open(QIODevice::ReadWrite)) {
        QByteArray text = conf.readAll();
        text.replace("internal_sip_port=5060", "internal_sip_port=" + QByteArray::number(freeUdpPort()));
        text.replace("external_sip_port=5080", "external_sip_port=" + QByteArray::number(freeUdpPort()));
        conf.resize(0);
        m_valid = conf.write(text) == text.size();
    }
}

SwitchStandIn::~SwitchStandIn()
{
    if (isRunning()) {
        shutdown(10000);
        if (isRunning())
            kill();
    }
}

QString SwitchStandIn::folder() const
{
    return m_dir.path() + QStringLiteral("/RUVIDAZA");
}

void SwitchStandIn::launch()
{
    m_process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (m_testHooks)
        env.insert(QStringLiteral("RUVIDAZA_TEST_HOOKS"), QStringLiteral("1"));
    else
        env.remove(QStringLiteral("RUVIDAZA_TEST_HOOKS"));
    m_process->setProcessEnvironment(env);
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_process->setWorkingDirectory(m_dir.path());
    m_process->start(path(QStringLiteral("RUVidazaConsole")), {QStringLiteral("-nc"), QStringLiteral("-nonat")});
    m_process->waitForStarted(30000);
}

bool SwitchStandIn::start(int timeoutMs)
{
    if (!m_valid)
        return false;
    launch();
    return waitUntil(
        [this] {
            if (!isRunning())
                return true;
            return QFile::exists(path(QStringLiteral("run/console")))
                   && console(QStringLiteral("conference list")).startsWith(QLatin1String("+OK"));
        },
        timeoutMs)
           && isRunning();
}

bool SwitchStandIn::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

int SwitchStandIn::waitForExit(int timeoutMs)
{
    if (!m_process)
        return -1;
    if (m_process->state() != QProcess::NotRunning && !m_process->waitForFinished(timeoutMs))
        return -1;
    return m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
}

int SwitchStandIn::shutdown(int timeoutMs)
{
    console(QStringLiteral("shutdown"));
    return waitForExit(timeoutMs);
}

void SwitchStandIn::terminate()
{
    if (m_process)
        m_process->terminate();
}

void SwitchStandIn::kill()
{
    if (m_process) {
        m_process->kill();
        m_process->waitForFinished(10000);
    }
}

QString SwitchStandIn::console(const QString &command, int *exitCode) const
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(path(QStringLiteral("da_rid")), {QStringLiteral("-x"), command});
    p.waitForFinished(60000);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace PaTest
