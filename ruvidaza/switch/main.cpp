// RUVidazaConsole: the switch. Run as "RUVidazaConsole -nc -nonat".
//
// -nc     stay in the foreground without a console of its own (always the case here)
// -nonat  no NAT discovery (none is ever done)
// Other arguments are logged and ignored.

#include "SwitchDaemon.h"
#include "SwitchLog.h"

#include <QCoreApplication>
#include <QDebug>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = QCoreApplication::applicationDirPath();
    SwitchLog::install(folder + QStringLiteral("/log"));
    const QStringList args = app.arguments().mid(1);
    qInfo() << "starting from" << folder << "with" << args;
    for (const QString &a : args) {
        if (a != QLatin1String("-nc") && a != QLatin1String("-nonat"))
            qWarning() << "ignoring unknown argument" << a;
    }
    SwitchDaemon daemon(folder);
    const int rc = daemon.start();
    if (rc != SwitchDaemon::ExitOk)
        return rc;
    return app.exec();
}
