#include "CommandDispatcher.h"

#include "SwitchEngine.h"
#include "TestHooks.h"

#include <QRegularExpression>

namespace {

QString ok(const QString &body = QString())
{
    return body.isEmpty() ? QStringLiteral("+OK\n") : QStringLiteral("+OK ") + body + QLatin1Char('\n');
}

QString err(const QString &body)
{
    return QStringLiteral("-ERR ") + body + QLatin1Char('\n');
}

bool hasControlChars(const QString &s)
{
    for (const QChar c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

} // namespace

CommandDispatcher::CommandDispatcher(SwitchEngine *engine, TestHooks *hooks, QObject *parent)
    : QObject(parent), m_engine(engine), m_hooks(hooks)
{
}

QString CommandDispatcher::handle(const QString &command)
{
    // One command per message: a line break can never smuggle in a second one.
    if (hasControlChars(command))
        return err(QStringLiteral("invalid command: control characters"));
    const QString cmd = command.trimmed();
    if (cmd.isEmpty())
        return err(QStringLiteral("no command"));
    const QStringList words = cmd.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString verb = words.first();

    if (verb == QLatin1String("conference"))
        return conference(cmd.mid(verb.size()).trimmed());
    if (verb == QLatin1String("sofia"))
        return sofia(words);
    if (verb == QLatin1String("reloadxml")) {
        if (words.size() != 1)
            return err(QStringLiteral("reloadxml takes no arguments"));
        QString error;
        if (!m_engine->reload(QString(), &error))
            return err(QStringLiteral("[%1]").arg(error));
        return ok(QStringLiteral("[Success]"));
    }
    if (verb == QLatin1String("uuid_kill")) {
        if (words.size() != 2)
            return err(QStringLiteral("Usage: uuid_kill <uuid>"));
        return m_engine->killLeg(words[1]) ? ok() : err(QStringLiteral("No such channel!"));
    }
    if (verb == QLatin1String("shutdown")) {
        if (words.size() != 1)
            return err(QStringLiteral("shutdown takes no arguments"));
        emit shutdownRequested();
        return ok(QStringLiteral("shutting down"));
    }
    if (verb == QLatin1String("test"))
        return m_hooks->handle(words.mid(1));
    return err(verb + QStringLiteral(" command not found"));
}

QString CommandDispatcher::conference(const QString &rest)
{
    if (rest == QLatin1String("list"))
        return m_engine->conferenceListText();
    const int sp1 = rest.indexOf(QLatin1Char(' '));
    if (sp1 <= 0)
        return err(QStringLiteral("Usage: conference <name> <command> [args]"));
    const QString token = rest.left(sp1);
    const QString tail = rest.mid(sp1 + 1).trimmed();
    const int sp2 = tail.indexOf(QLatin1Char(' '));
    const QString sub = sp2 < 0 ? tail : tail.left(sp2);
    const QString args = sp2 < 0 ? QString() : tail.mid(sp2 + 1).trimmed();
    const QString key = SwitchEngine::conferenceKey(token);
    static const QRegularExpression keyRe(QStringLiteral("^[0-9A-Za-z_.-]{1,64}$"));
    if (!keyRe.match(key).hasMatch())
        return err(QStringLiteral("bad conference name"));

    if (sub == QLatin1String("bgdial")) {
        const QStringList a = args.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (a.size() < 1 || a.size() > 3)
            return err(QStringLiteral("Usage: conference <name> bgdial <endpoint> [<cid_num> [<cid_name>]]"));
        QString uuid;
        QString error;
        if (!m_engine->dial(token, a[0], a.value(1), a.value(2), &uuid, &error))
            return err(error);
        return ok(QStringLiteral("Job-UUID: ") + uuid);
    }
    if (token != key)
        return err(QStringLiteral("profile and flags are only accepted with bgdial"));
    if (sub == QLatin1String("hup")) {
        if (args != QLatin1String("all"))
            return err(QStringLiteral("Usage: conference <name> hup all"));
        return m_engine->hangupAll(key) ? ok(QStringLiteral("hup all"))
                                        : err(QStringLiteral("Conference %1 not found").arg(key));
    }
    if (sub == QLatin1String("play")) {
        // The path runs from the first quote to the last one, so a name with
        // an apostrophe in it needs no escaping.
        QString path = args;
        if (path.startsWith(QLatin1Char('\''))) {
            const int last = path.lastIndexOf(QLatin1Char('\''));
            if (last <= 0 || last != path.size() - 1)
                return err(QStringLiteral("Usage: conference <name> play '<file>'"));
            path = path.mid(1, last - 1);
        }
        if (path.isEmpty())
            return err(QStringLiteral("Usage: conference <name> play '<file>'"));
        QString error;
        if (!m_engine->play(key, path, &error))
            return err(error);
        return ok(QStringLiteral("playing ") + path);
    }
    if (sub == QLatin1String("stop")) {
        if (!args.isEmpty() && args != QLatin1String("all") && args != QLatin1String("current"))
            return err(QStringLiteral("Usage: conference <name> stop [all|current]"));
        return m_engine->stopPlay(key) ? ok(QStringLiteral("Stopped")) : err(QStringLiteral("Conference %1 not found").arg(key));
    }
    if (sub == QLatin1String("play_status")) {
        if (!args.isEmpty())
            return err(QStringLiteral("Usage: conference <name> play_status"));
        QString text;
        return m_engine->playStatus(key, &text) ? ok(text) : err(text);
    }
    if (sub == QLatin1String("file-vol")) {
        static const QRegularExpression numRe(QStringLiteral("^[+-]?[0-9]{1,3}$"));
        if (!numRe.match(args).hasMatch())
            return err(QStringLiteral("Usage: conference <name> file-vol <-13..13>"));
        const int level = args.toInt();
        if (level < -13 || level > 13)
            return err(QStringLiteral("file-vol out of range -13..13"));
        return m_engine->setFileVolume(key, level) ? ok(QStringLiteral("file-vol ") + QString::number(level))
                                                   : err(QStringLiteral("Conference %1 not found").arg(key));
    }
    return err(QStringLiteral("conference ") + sub + QStringLiteral(" command not found"));
}

QString CommandDispatcher::sofia(const QStringList &w)
{
    if (w.size() == 3 && w[1] == QLatin1String("xmlstatus") && w[2] == QLatin1String("gateway"))
        return m_engine->gatewaysXml();
    if (w.size() >= 4 && w[1] == QLatin1String("profile")) {
        const QString profile = w[2];
        if (profile != QLatin1String("internal") && profile != QLatin1String("external"))
            return err(QStringLiteral("Invalid Profile [%1]").arg(profile));
        if (w.size() == 4 && w[3] == QLatin1String("rescan")) {
            QString error;
            if (!m_engine->reload(profile, &error))
                return QStringLiteral("-ERR Reload XML [Failed] ") + error + QLatin1Char('\n');
            return QStringLiteral("Reload XML [Success]\n+OK scan complete\n");
        }
        if (w.size() == 5 && w[3] == QLatin1String("killgw")) {
            if (w[4] == QLatin1String("_all_")) {
                m_engine->killGateways(profile);
                return ok();
            }
            return err(QStringLiteral("killgw of one gateway is not supported; use _all_"));
        }
    }
    return err(QStringLiteral("sofia command not found"));
}
