#include "TestHooks.h"

#include "SwitchEngine.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QUrl>

namespace {

QString ok(const QString &body = QString())
{
    return body.isEmpty() ? QStringLiteral("+OK\n") : QStringLiteral("+OK ") + body + QLatin1Char('\n');
}

QString err(const QString &body)
{
    return QStringLiteral("-ERR ") + body + QLatin1Char('\n');
}

bool safeValue(const QString &v)
{
    static const QRegularExpression re(QStringLiteral("^[0-9A-Za-z_.:+*#@{}|()/<>;=-]{0,128}$"));
    return re.match(v).hasMatch();
}

} // namespace

TestHooks::TestHooks(SwitchEngine *engine, bool enabled) : m_engine(engine), m_enabled(enabled) {}

QString TestHooks::handle(const QStringList &words)
{
    if (!m_enabled)
        return err(QStringLiteral("test hooks disabled"));
    QStringList w;
    QMap<QString, QString> opts;
    for (const QString &word : words) {
        const int eq = word.indexOf(QLatin1Char('='));
        if (eq > 0 && !w.isEmpty())
            opts.insert(word.left(eq), word.mid(eq + 1));
        else
            w << word;
    }
    for (auto it = opts.begin(); it != opts.end(); ++it) {
        if (!safeValue(it.value()))
            return err(QStringLiteral("bad value for ") + it.key());
    }
    if (w.isEmpty())
        return err(QStringLiteral("Usage: test <reg|leg|hangup|call|play-status|gw|config|dump> ..."));
    const QString what = w.first();
    if (what == QLatin1String("reg"))
        return reg(w, opts);
    if (what == QLatin1String("leg"))
        return leg(w, opts);
    if (what == QLatin1String("hangup")) {
        if (w.size() != 2)
            return err(QStringLiteral("Usage: test hangup <uuid|user>"));
        return m_engine->setLegState(w[1], QString()) ? ok() : err(QStringLiteral("No such channel"));
    }
    if (what == QLatin1String("call")) {
        if (w.size() != 3)
            return err(QStringLiteral("Usage: test call <from> <dest> [profile=internal|external] [src=<ip>]"));
        QString uuid;
        QString error;
        // The caller may be percent-encoded, as a SIP user part may carry
        // escaped characters (RFC 3261 section 19.1.2): blanks, quotes and
        // line feeds a console word cannot hold.
        const QString from = QUrl::fromPercentEncoding(w[1].toUtf8());
        if (!m_engine->inboundCall(from, w[2], opts.value(QStringLiteral("profile"), QStringLiteral("internal")),
                                   opts.value(QStringLiteral("src"), QStringLiteral("127.0.0.1")), &uuid, &error))
            return err(error);
        return ok(uuid);
    }
    if (what == QLatin1String("play-status")) {
        if (w.size() != 3)
            return err(QStringLiteral("Usage: test play-status <conference> playing|ended|auto"));
        Conference::Forced f = Conference::Forced::No;
        if (w[2] == QLatin1String("playing"))
            f = Conference::Forced::Playing;
        else if (w[2] == QLatin1String("ended"))
            f = Conference::Forced::Ended;
        else if (w[2] != QLatin1String("auto"))
            return err(QStringLiteral("play-status must be playing, ended or auto"));
        return m_engine->forcePlayStatus(w[1], f) ? ok() : err(QStringLiteral("Conference %1 not found").arg(w[1]));
    }
    if (what == QLatin1String("gw")) {
        static const QRegularExpression stateRe(QStringLiteral("^[A-Z_]{1,32}$"));
        if (w.size() != 3 || !stateRe.match(w[2]).hasMatch())
            return err(QStringLiteral("Usage: test gw <name> <STATE>"));
        return m_engine->setGatewayState(w[1], w[2]) ? ok() : err(QStringLiteral("no such gateway"));
    }
    if (what == QLatin1String("config") && w.size() == 1)
        return ok(m_engine->describeConfigJson());
    if (what == QLatin1String("dump") && w.size() == 1)
        return ok(m_engine->dumpJson());
    return err(QStringLiteral("test ") + what + QStringLiteral(" command not found"));
}

QString TestHooks::reg(const QStringList &w, const QMap<QString, QString> &opts)
{
    static const QRegularExpression userRe(QStringLiteral("^[0-9A-Za-z_.+*#-]{1,64}$"));
    if (w.size() != 3 || !userRe.match(w[2]).hasMatch())
        return err(QStringLiteral("Usage: test reg add|del <user> [options]"));
    const QString user = w[2];
    if (w[1] == QLatin1String("del"))
        return m_engine->removeRegistration(user) ? ok() : err(QStringLiteral("no registration for ") + user);
    if (w[1] != QLatin1String("add"))
        return err(QStringLiteral("Usage: test reg add|del <user> [options]"));

    Registration r;
    r.sipUser = user;
    r.sipHost = m_engine->config().var(QStringLiteral("domain"), QStringLiteral("127.0.0.1"));
    r.networkIp = opts.value(QStringLiteral("ip"), QStringLiteral("127.0.0.1"));
    r.networkPort = opts.value(QStringLiteral("port"), QStringLiteral("5060"));
    r.contact = QStringLiteral("<sip:%1@%2:%3>").arg(user, r.networkIp, r.networkPort);
    r.status = opts.value(QStringLiteral("status"), QStringLiteral("Registered(UDP)"));
    r.callId = QStringLiteral("test-") + user;
    bool okNum = true;
    const qint64 expires = opts.value(QStringLiteral("expires"), QStringLiteral("3600")).toLongLong(&okNum);
    if (!okNum || expires <= 0)
        return err(QStringLiteral("expires must be a positive number of seconds"));
    r.expires = QDateTime::currentSecsSinceEpoch() + expires;
    const QString answer = opts.value(QStringLiteral("answer"), QStringLiteral("auto"));
    if (answer == QLatin1String("auto"))
        r.answer = AnswerMode::Auto;
    else if (answer == QLatin1String("ring"))
        r.answer = AnswerMode::Ring;
    else if (answer == QLatin1String("reject"))
        r.answer = AnswerMode::Reject;
    else if (answer == QLatin1String("none"))
        r.answer = AnswerMode::None;
    else
        return err(QStringLiteral("answer must be auto, ring, reject or none"));
    r.answerMs = opts.value(QStringLiteral("answer_ms"), QStringLiteral("100")).toInt(&okNum);
    if (!okNum || r.answerMs < 0)
        return err(QStringLiteral("answer_ms must be a number of milliseconds"));
    return m_engine->addRegistration(r) ? ok() : err(QStringLiteral("cannot store registration"));
}

QString TestHooks::leg(const QStringList &w, const QMap<QString, QString> &opts)
{
    if (w.size() == 4 && w[1] == QLatin1String("state")) {
        static const QRegularExpression stateRe(QStringLiteral("^[A-Z_]{1,32}$"));
        if (!stateRe.match(w[3]).hasMatch())
            return err(QStringLiteral("bad state"));
        return m_engine->setLegState(w[2], w[3]) ? ok() : err(QStringLiteral("No such channel"));
    }
    if (w.size() != 3 || w[1] != QLatin1String("add"))
        return err(QStringLiteral("Usage: test leg add <accountcode> [conference=..] [state=..] | test leg state <uuid|user> <STATE>"));
    Leg leg;
    leg.direction = QStringLiteral("inbound");
    leg.accountcode = w[2];
    leg.dest = opts.value(QStringLiteral("dest"), w[2]);
    leg.initialDest = leg.dest;
    leg.calleeNum = leg.dest;
    leg.initialCidNum = opts.value(QStringLiteral("cid_num"), w[2]);
    leg.cidName = opts.value(QStringLiteral("cid_name"), leg.initialCidNum);
    leg.callstate = opts.value(QStringLiteral("state"), QStringLiteral("ACTIVE"));
    leg.applicationData = opts.value(QStringLiteral("conference"));
    leg.ipAddr = QStringLiteral("127.0.0.1");
    leg.profile = QStringLiteral("internal");
    return ok(m_engine->addLeg(leg));
}
