#include "VelmarStartup.h"

#include "FSManager.h"
#include "PAAlertDialog.h"
#include "PALogDB.h"
#include "PASipManager.h"
#include "PlatformTermination.h"
#include "QBreakpadHandler.h"
#include "RDConfigure.h"
#include "RDDefaultFont.h"
#include "RDHomeDialog.h"
#include "RDLocalize.h"
#include "RDLog.h"
#include "RDSocket.h"
#include "RDUtils.h"
#include "SingleInstanceMutex.h"
#include "Velmar.h"
#include "VelmarDB.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QTimer>

#include <vector>

#define STARTUP_LOG(...) RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {

const char *const kServerGuard = "Kelbrin Corvane Server";
const char *const kOwnGuard = "Kelbrin Corvane Lite";

// Nobody can answer a box on the offscreen platform: the text goes to the
// log and to standard error instead.
bool canShowBoxes()
{
    return QGuiApplication::platformName() != QLatin1String("offscreen")
        && QGuiApplication::platformName() != QLatin1String("minimal");
}

void warnAlreadyRunning()
{
    const QString text = RDLocalize::text(QStringLiteral("Program already running"));
    if (canShowBoxes()) {
        QMessageBox::warning(nullptr, QStringLiteral("Waring"), text, QMessageBox::Ok);
        return;
    }
    fprintf(stderr, "%s\n", text.toUtf8().constData());
}

// Major and minor OpenGL version of a context made on the current
// application; 0 when no context can be made (no display, no driver).
void probeOpenGL(int *major, int *minor)
{
    *major = 0;
    *minor = 0;
    if (!canShowBoxes())
        return;
    QOpenGLContext context;
    if (!context.create())
        return;
    *major = context.format().majorVersion();
    *minor = context.format().minorVersion();
}

void checkPort(int port)
{
    if (port < 1 || port > 65535 || isTcpPortAvailable(static_cast<uint16_t>(port)))
        return;
    STARTUP_LOG("port %d occupied\n", port);
    PAAlertDialog::showMessage(QStringLiteral("%1 %2 %3")
                                   .arg(RDLocalize::text(QStringLiteral("port")))
                                   .arg(port)
                                   .arg(RDLocalize::text(QStringLiteral("Occupied"))));
}

} // namespace

// -- PATH --------------------------------------------------------------------

QString appendedPath(const QString &path, const QString &folder)
{
    const QChar separator = QDir::listSeparator();
    if (path.isEmpty())
        return folder;
    if (path.endsWith(separator))
        return path + folder;
    return path + separator + folder;
}

void appendToPath(const QString &folder)
{
    const QString path = QString::fromUtf8(qgetenv("PATH"));
    qputenv("PATH", appendedPath(path, QDir::toNativeSeparators(folder)).toUtf8());
}

// -- Network wait -----------------------------------------------------------------

bool waitForNetwork(QString &internalIp, QString &internalNetmask, QString &externalIp, const bool *keepRunning,
                    const std::function<RDNetworkAdapter()> &adapter, int retryMs)
{
    auto complete = [&] { return !internalIp.isEmpty() && !internalNetmask.isEmpty() && !externalIp.isEmpty(); };
    if (!keepRunning)
        return complete();
    while (*keepRunning && !complete()) {
        const RDNetworkAdapter found = adapter();
        if (!found.ip.isEmpty()) {
            if (internalIp.isEmpty())
                internalIp = found.ip;
            if (externalIp.isEmpty())
                externalIp = found.ip;
            if (internalNetmask.isEmpty())
                internalNetmask = found.netmask;
        }
        if (complete())
            break;
        STARTUP_LOG("read network internal ip = %s, internalNetmask = %s, externalIp = %s\n",
                    qPrintable(internalIp), qPrintable(internalNetmask), qPrintable(externalIp));
        // The window stays painted and can still be closed while we wait.
        QEventLoop loop;
        QTimer::singleShot(retryMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return complete();
}

// -- Start-up and shut-down --------------------------------------------------------

bool initGlobals()
{
    QLog::open();
    STARTUP_LOG("init globals\n");

    STARTUP_LOG("init databases\n");
    {
        VelmarDB database(true);
        database.checkUpgrade();
        if (!database.errorText().isEmpty())
            STARTUP_LOG("application database: %s\n", qPrintable(database.errorText()));
        database.createDefaultGroup();
        database.close();
        PALogDB log(true);
        log.checkUpgrade();
        if (!log.errorText().isEmpty())
            STARTUP_LOG("event log: %s\n", qPrintable(log.errorText()));
        log.close();
    }
    STARTUP_LOG("init databases ended\n");

    RDConfigure().initDefaults();

    const QString languageDir = QCoreApplication::applicationDirPath() + QStringLiteral("/language");
    makeDir(languageDir);
    RDLocalize::setLanguageDir(languageDir);
    const QString language = RDConfigure().language();
    if (!RDLocalize::setLanguage(language))
        STARTUP_LOG("language file of %s not loaded, English texts shown\n", qPrintable(language));

    FSManager::createInstance();
    STARTUP_LOG("init fs manager ended\n");
    Velmar::createInstance();
    STARTUP_LOG("init Velmar ended\n");

    qRegisterMetaType<RDDevice>("RDDevice");
    qRegisterMetaType<QVector<RDDevice>>("QVector<RDDevice>");
    qRegisterMetaType<RDGroup>("RDGroup");
    qRegisterMetaType<QVector<RDGroup>>("QVector<RDGroup>");
    return true;
}

bool startFS(bool *keepRunning)
{
    FSManager *manager = FSManager::instance();
    if (!manager)
        return true;

    bool natEnable;
    QString internalIp, internalNetmask, externalIp, codecs;
    int internalPort, externalPort, httpPort, rtpStart, rtpEnd;
    {
        RDConfigure conf;
        natEnable = conf.natEnable();
        internalIp = conf.sipInternalIp();
        internalNetmask = conf.sipInternalNetmask();
        internalPort = conf.sipInternalPort();
        externalIp = conf.sipExternalIp();
        externalPort = conf.sipExternalPort();
        codecs = conf.sipCodecs();
        httpPort = conf.httpServerPort();
        rtpStart = conf.rtpStartPort();
        rtpEnd = conf.rtpEndPort();
    }

    waitForNetwork(internalIp, internalNetmask, externalIp, keepRunning, defaultNetworkAdapter);
    if (keepRunning && !*keepRunning) {
        // The operator left during the wait: nothing is started.
        STARTUP_LOG("start of the switch given up: the program ends\n");
        return true;
    }

    STARTUP_LOG("init pa sip manager\n");
    PASipManager::createInstance(internalIp);
    STARTUP_LOG("init pa sip manager ended\n");

    const QString switchDir =
        QStringLiteral("%1/%2").arg(QCoreApplication::applicationDirPath(), QStringLiteral("RUVIDAZA"));
    appendToPath(QStringLiteral("%1/internal_exe").arg(switchDir));

    checkPort(internalPort);
    checkPort(externalPort);

    manager->setDirectory(switchDir);
    manager->setHttpPort(httpPort);
    manager->setRtpPortRange(rtpStart, rtpEnd);
    manager->setNetwork(internalIp, internalNetmask, internalPort, natEnable, externalIp, externalPort, codecs);
    manager->start();
    return true;
}

void stopFS()
{
    // The switch manager's threads use the SIP manager: they end first, so
    // that nothing can reach the SIP manager while it goes.
    if (FSManager *manager = FSManager::instance())
        manager->stop();
    STARTUP_LOG("uninit pa sip manager\n");
    PASipManager::destroyInstance();
    STARTUP_LOG("uninit pa sip manager ended\n");
}

void uninitGlobals()
{
    STARTUP_LOG("stop velmar\n");
    Velmar::destroyInstance();
    STARTUP_LOG("stop velmar ended\n");
    STARTUP_LOG("uninit fs manager\n");
    FSManager::destroyInstance();
    STARTUP_LOG("uninit fs manager ended\n");
    // Closing the last connection moves the write-ahead logs into the files.
    PALogDB::closeSharedLog();
    VelmarDB::closeIdleConnections();
    QLog::close();
}

int velmarMain(int argc, char *argv[])
{
    int probeMajor = 0;
    {
        // QApplication takes the options it knows out of the list it is
        // given; the probe works on a copy so the real one sees them all.
        std::vector<char *> probeArgv(argv, argv + argc);
        probeArgv.push_back(nullptr);
        int probeArgc = argc;
        QApplication probe(probeArgc, probeArgv.data());
        int minor = 0;
        probeOpenGL(&probeMajor, &minor);
    }
    if (probeMajor >= 4) {
        QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL, true);
        QCoreApplication::setAttribute(Qt::AA_UseSoftwareOpenGL, false);
    } else {
        QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL, false);
        QCoreApplication::setAttribute(Qt::AA_UseSoftwareOpenGL, true);
    }

    QApplication app(argc, argv);
    // The window hides to the tray; only an explicit exit ends the loop.
    QApplication::setQuitOnLastWindowClosed(false);

    // Held until the process ends.
    static SingleInstanceMutex serverGuard(kServerGuard);
    if (!serverGuard.acquire()) {
        warnAlreadyRunning();
        return -1;
    }

    QBreakpadHandler::instance()->setDumpPath(QCoreApplication::applicationDirPath() + QStringLiteral("/crash"));

    SingleInstanceMutex ownGuard(kOwnGuard);
    if (!ownGuard.acquire()) {
        warnAlreadyRunning();
        return -1;
    }

    if (hasNonAscii(QCoreApplication::applicationDirPath())) {
        PAAlertDialog alert;
        alert.setMessage(RDLocalize::text(QStringLiteral("The application can only run under the English path")));
        alert.setOkText(RDLocalize::text(QStringLiteral("Still running")));
        if (alert.exec() == 0) {
            ownGuard.release();
            return -1;
        }
    }

    QCoreApplication::setOrganizationName(QStringLiteral("Kelbrin"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelbrin Corvane Lite"));

    if (!initGlobals()) {
        uninitGlobals();
        ownGuard.release();
        return -1;
    }

    int major = 0, minor = 0;
    probeOpenGL(&major, &minor);
    STARTUP_LOG("OpenGL Version %d, %d, %d\n", probeMajor, major, minor);

    QApplication::setFont(defaultFont());

    STARTUP_LOG("create home dialog\n");
    RDHomeDialog *home = new RDHomeDialog;
    Platform::installTerminationHandler([home] {
        STARTUP_LOG("termination requested\n");
        home->requestExit();
    });
    STARTUP_LOG("show home dialog\n");
    home->show();
    STARTUP_LOG("refresh home dialog\n");
    home->loadGroups();

    STARTUP_LOG("start fs\n");
    startFS(home->keepRunningFlag());
    STARTUP_LOG("start fs ended\n");

    home->execLoadingDialog();
    if (home->keepRunning())
        STARTUP_LOG("switch ready\n");

    int result = 0;
    while (home->keepRunning())
        result = QApplication::exec();

    // A second request while the program ends changes nothing.
    Platform::installTerminationHandler([] { STARTUP_LOG("termination requested while ending\n"); });

    // No service may start a group or touch the window once it goes.
    if (Velmar *velmar = Velmar::instance())
        velmar->shutdown();
    delete home;

    STARTUP_LOG("stop fs\n");
    stopFS();
    STARTUP_LOG("stop fs ended\n");

    uninitGlobals();
    Platform::removeTerminationHandler();
    ownGuard.release();
    return result;
}
