#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class SwitchEngine;

// Console commands under "test" that stand in for SIP endpoints, so the
// program's switch control can be exercised without real devices:
//
//   test reg add <user> [status=..] [ip=..] [port=..] [expires=<s>] [answer=auto|ring|reject|none] [answer_ms=<ms>]
//   test reg del <user>
//   test leg add <accountcode> [conference=<token>] [state=ACTIVE|RINGING] [dest=..] [cid_num=..] [cid_name=..]
//   test leg state <uuid|user> <STATE>
//   test hangup <uuid|user>
//   test call <from> <dest> [profile=internal|external] [src=<ip>]
//   test play-status <conference> playing|ended|auto
//   test gw <name> <state>
//   test config            (what the switch loaded: users, gateways, extensions)
//   test dump              (conferences, legs, registrations)
//
// Only served when the switch was started with RUVIDAZA_TEST_HOOKS=1 in its
// environment; otherwise every "test" command is refused.
class TestHooks
{
public:
    TestHooks(SwitchEngine *engine, bool enabled);

    bool enabled() const { return m_enabled; }
    QString handle(const QStringList &words);

private:
    QString reg(const QStringList &w, const QMap<QString, QString> &opts);
    QString leg(const QStringList &w, const QMap<QString, QString> &opts);

    SwitchEngine *m_engine;
    bool m_enabled;
};
