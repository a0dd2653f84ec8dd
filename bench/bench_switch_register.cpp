// Registrations per second the switch's registrar holds: SIPp registers N
// directory users (challenge, then digest, as devices do) at a fixed offered
// rate; the figure is the achieved rate, with every registration checked in
// the switch's state file afterwards (a lost registration fails the run).
//
//   bench_switch_register [users=3000] [rates=500,1000,2000]
#include "BenchSmoke.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <sqlite3.h>

#include <cstdio>

namespace {

const char *kScenario = R"(<?xml version="1.0" encoding="UTF-8"?>
<scenario name="register">
  <send retrans="500">
    <![CDATA[
      REGISTER sip:[remote_ip]:[remote_port] SIP/2.0
      Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
      From: <sip:[field0]@[remote_ip]:[remote_port]>;tag=[pid]t[call_number]
      To: <sip:[field0]@[remote_ip]:[remote_port]>
      Call-ID: [call_id]
      CSeq: 1 REGISTER
      Contact: <sip:[field0]@[local_ip]:[local_port]>
      Max-Forwards: 70
      Expires: 3600
      Content-Length: 0

    ]]>
  </send>
  <recv response="401" auth="true"/>
  <send retrans="500">
    <![CDATA[
      REGISTER sip:[remote_ip]:[remote_port] SIP/2.0
      Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
      From: <sip:[field0]@[remote_ip]:[remote_port]>;tag=[pid]t[call_number]
      To: <sip:[field0]@[remote_ip]:[remote_port]>
      Call-ID: [call_id]
      CSeq: 2 REGISTER
      Contact: <sip:[field0]@[local_ip]:[local_port]>
      [field1]
      Max-Forwards: 70
      Expires: 3600
      Content-Length: 0

    ]]>
  </send>
  <recv response="200"/>
</scenario>
)";

int freeUdpPort()
{
    QUdpSocket s;
    return s.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0) ? s.localPort() : 0;
}

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

int rowCount(const QString &db)
{
    sqlite3 *h = nullptr;
    int n = -1;
    if (sqlite3_open_v2(db.toUtf8().constData(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(h, "select count(*) from sip_registrations", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int users = BenchSmoke::size(argc > 1 ? std::atoi(argv[1]) : 3000, 20);
    QList<int> rates;
    for (const QString &r : QString::fromLocal8Bit(argc > 2 ? argv[2] : "500,1000,2000").split(QLatin1Char(',')))
        rates << r.toInt();
    if (BenchSmoke::on())
        rates = {100};

    const QByteArray env = qgetenv("PA_SWITCH_DIR");
    const QString source = env.isEmpty() ? app.applicationDirPath() + QStringLiteral("/../RUVIDAZA")
                                         : QString::fromLocal8Bit(env);
    int status = 0;
    for (const int rate : rates) {
        QTemporaryDir dir;
        const QString sw = dir.path() + QStringLiteral("/RUVIDAZA");
        QProcess::execute(QStringLiteral("/bin/cp"), {QStringLiteral("-r"), source, sw});
        QDir(sw + QStringLiteral("/db")).removeRecursively();
        QDir(sw + QStringLiteral("/run")).removeRecursively();
        QDir().mkpath(sw + QStringLiteral("/db"));
        const int port = freeUdpPort();
        writeFile(sw + QStringLiteral("/conf/custom_configs/sip_configs.xml"),
                  QStringLiteral("<include>\n<X-PRE-PROCESS cmd=\"set\" data=\"internal_sip_port=%1\"/>\n"
                                 "<X-PRE-PROCESS cmd=\"set\" data=\"external_sip_port=%2\"/>\n"
                                 "<X-PRE-PROCESS cmd=\"stun-set\" data=\"sip_ip=127.0.0.1\"/>\n</include>")
                      .arg(port)
                      .arg(freeUdpPort())
                      .toUtf8());
        QByteArray csv = "SEQUENTIAL\n";
        for (int i = 0; i < users; ++i) {
            const QString id = QString::number(100000 + i);
            writeFile(sw + QStringLiteral("/conf/directory/default/%1.xml").arg(id),
                      QStringLiteral("<include><user id=\"%1\"><params><param name=\"password\" value=\"p%1\"/>"
                                     "</params></user></include>")
                          .arg(id)
                          .toUtf8());
            csv += QStringLiteral("%1;[authentication username=%1 password=p%1]\n").arg(id).toUtf8();
        }
        writeFile(dir.path() + QStringLiteral("/users.csv"), csv);
        writeFile(dir.path() + QStringLiteral("/register.xml"), kScenario);

        QProcess switchProcess;
        switchProcess.start(sw + QStringLiteral("/RUVidazaConsole"), {QStringLiteral("-nc"), QStringLiteral("-nonat")});
        bool ready = false;
        for (int i = 0; i < 600 && !ready; ++i) {
            QProcess c;
            c.start(sw + QStringLiteral("/da_rid"), {QStringLiteral("-x"), QStringLiteral("conference list")});
            c.waitForFinished(10000);
            ready = c.readAllStandardOutput().startsWith("+OK");
            if (!ready)
                QThread::msleep(50);
        }
        if (!ready) {
            std::fprintf(stderr, "switch did not start\n");
            return 1;
        }

        QProcess sipp;
        sipp.setWorkingDirectory(dir.path());
        QElapsedTimer timer;
        timer.start();
        sipp.start(QStringLiteral("sipp"),
                   {QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("-sf"), QStringLiteral("register.xml"),
                    QStringLiteral("-inf"), QStringLiteral("users.csv"), QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
                    QStringLiteral("-p"), QString::number(freeUdpPort()), QStringLiteral("-r"), QString::number(rate),
                    QStringLiteral("-m"), QString::number(users), QStringLiteral("-l"), QStringLiteral("5000"),
                    QStringLiteral("-nostdin"), QStringLiteral("-timeout"), QStringLiteral("120s"),
                    QStringLiteral("-max_recv_loops"), QStringLiteral("100000")});
        sipp.waitForFinished(180000);
        const double seconds = timer.nsecsElapsed() / 1e9;
        const int rows = rowCount(sw + QStringLiteral("/db/sofia_reg_internal.db"));
        std::printf("offered %5d/s: %d registrations in %.2f s = %.0f/s achieved; rows %d/%d; sipp exit %d\n", rate,
                    users, seconds, users / seconds, rows, users, sipp.exitCode());
        if (rows != users || sipp.exitCode() != 0)
            status = 1;
        QProcess::execute(sw + QStringLiteral("/da_rid"), {QStringLiteral("-x"), QStringLiteral("shutdown")});
        if (!switchProcess.waitForFinished(20000))
            switchProcess.kill();
        switchProcess.waitForFinished(5000);
    }
    return status;
}
