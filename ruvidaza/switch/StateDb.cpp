#include "StateDb.h"

#include <QDebug>
#include <QFile>
#include <sqlite3.h>

namespace {

class Statement
{
public:
    Statement(sqlite3 *db, const char *sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            qWarning() << "sqlite prepare failed:" << sqlite3_errmsg(db) << sql;
            m_stmt = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    bool ok() const { return m_stmt != nullptr; }
    void bind(int i, const QString &v)
    {
        const QByteArray b = v.toUtf8();
        sqlite3_bind_text(m_stmt, i, b.constData(), b.size(), SQLITE_TRANSIENT);
    }
    void bind(int i, qint64 v) { sqlite3_bind_int64(m_stmt, i, v); }
    int step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    QString text(int i) const
    {
        const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, i));
        return t ? QString::fromUtf8(t) : QString();
    }
    qint64 int64(int i) const { return sqlite3_column_int64(m_stmt, i); }

private:
    sqlite3_stmt *m_stmt = nullptr;
};

const char *kChannelsSchema =
    "CREATE TABLE IF NOT EXISTS channels ("
    " uuid TEXT, direction TEXT, created_epoch INTEGER, callstate TEXT, accountcode TEXT, dest TEXT,"
    " callee_num TEXT, application_data TEXT, cid_name TEXT, ip_addr TEXT, initial_cid_num TEXT,"
    " initial_dest TEXT, profile TEXT, conference TEXT)";

const char *kRegistrationsSchema =
    "CREATE TABLE IF NOT EXISTS sip_registrations ("
    " call_id TEXT, sip_user TEXT, sip_host TEXT, contact TEXT, status TEXT, network_ip TEXT,"
    " network_port TEXT, expires INTEGER, user_agent TEXT, answer_mode TEXT, answer_ms INTEGER)";

QString answerName(AnswerMode m)
{
    switch (m) {
    case AnswerMode::Ring: return QStringLiteral("ring");
    case AnswerMode::Reject: return QStringLiteral("reject");
    case AnswerMode::None: return QStringLiteral("none");
    case AnswerMode::Sip: return QStringLiteral("sip");
    case AnswerMode::Auto: break;
    }
    return QStringLiteral("auto");
}

AnswerMode answerFromName(const QString &s)
{
    if (s == QLatin1String("ring"))
        return AnswerMode::Ring;
    if (s == QLatin1String("reject"))
        return AnswerMode::Reject;
    if (s == QLatin1String("none"))
        return AnswerMode::None;
    if (s == QLatin1String("sip"))
        return AnswerMode::Sip;
    return AnswerMode::Auto;
}

} // namespace

StateDb::~StateDb()
{
    close();
}

bool StateDb::openOne(const QString &path, sqlite3 **db, QString *error)
{
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, QString::fromUtf8(sqlite3_errmsg(*db)));
        sqlite3_close(*db);
        *db = nullptr;
        return false;
    }
    // Readers in the program use the default busy handling; keep our own
    // writes patient too, a reader may hold a snapshot for a moment.
    sqlite3_busy_timeout(*db, 2000);
    return true;
}

bool StateDb::exec(sqlite3 *db, const char *sql, QString *error)
{
    char *msg = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        const QString text = QString::fromUtf8(msg ? msg : "unknown error");
        sqlite3_free(msg);
        if (error)
            *error = text;
        qWarning() << "sqlite:" << text << "in" << sql;
        return false;
    }
    return true;
}

bool StateDb::open(const QString &dbFolder, QString *error)
{
    close();
    if (!openOne(dbFolder + QStringLiteral("/core.db"), &m_core, error)
        || !openOne(dbFolder + QStringLiteral("/sofia_reg_internal.db"), &m_reg, error)) {
        close();
        return false;
    }
    QString err;
    for (sqlite3 *db : {m_core, m_reg}) {
        if (!exec(db, "PRAGMA journal_mode=WAL", &err) || !exec(db, "PRAGMA synchronous=NORMAL", &err)) {
            *error = QStringLiteral("cannot set up state db: ") + err;
            close();
            return false;
        }
    }
    if (!exec(m_core, kChannelsSchema, &err) || !exec(m_reg, kRegistrationsSchema, &err)) {
        *error = QStringLiteral("cannot create state tables: ") + err;
        close();
        return false;
    }
    return true;
}

void StateDb::close()
{
    if (m_core)
        sqlite3_close(m_core);
    if (m_reg)
        sqlite3_close(m_reg);
    m_core = m_reg = nullptr;
}

bool StateDb::clearChannels()
{
    return m_core && exec(m_core, "DELETE FROM channels");
}

QVector<Registration> StateDb::loadRegistrations(qint64 nowEpoch)
{
    QVector<Registration> out;
    if (!m_reg)
        return out;
    {
        Statement del(m_reg, "DELETE FROM sip_registrations WHERE expires IS NULL OR expires <= ?");
        del.bind(1, nowEpoch);
        del.step();
    }
    Statement q(m_reg, "SELECT call_id, sip_user, sip_host, contact, status, network_ip, network_port, expires,"
                       " answer_mode, answer_ms FROM sip_registrations");
    while (q.ok() && q.step() == SQLITE_ROW) {
        Registration r;
        r.callId = q.text(0);
        r.sipUser = q.text(1);
        r.sipHost = q.text(2);
        r.contact = q.text(3);
        r.status = q.text(4);
        r.networkIp = q.text(5);
        r.networkPort = q.text(6);
        r.expires = q.int64(7);
        r.answer = answerFromName(q.text(8));
        r.answerMs = int(q.int64(9));
        out.push_back(r);
    }
    return out;
}

bool StateDb::insertChannel(const Leg &leg)
{
    if (!m_core)
        return false;
    Statement q(m_core, "INSERT INTO channels (uuid, direction, created_epoch, callstate, accountcode, dest, callee_num,"
                        " application_data, cid_name, ip_addr, initial_cid_num, initial_dest, profile, conference)"
                        " VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    q.bind(1, leg.uuid);
    q.bind(2, leg.direction);
    q.bind(3, leg.createdEpoch);
    q.bind(4, leg.callstate);
    q.bind(5, leg.accountcode);
    q.bind(6, leg.dest);
    q.bind(7, leg.calleeNum);
    q.bind(8, leg.applicationData);
    q.bind(9, leg.cidName);
    q.bind(10, leg.ipAddr);
    q.bind(11, leg.initialCidNum);
    q.bind(12, leg.initialDest);
    q.bind(13, leg.profile);
    q.bind(14, leg.conference);
    return q.step() == SQLITE_DONE;
}

bool StateDb::updateChannel(const Leg &leg)
{
    if (!m_core)
        return false;
    Statement q(m_core, "UPDATE channels SET callstate=?, application_data=?, dest=?, callee_num=?, conference=?"
                        " WHERE uuid=?");
    q.bind(1, leg.callstate);
    q.bind(2, leg.applicationData);
    q.bind(3, leg.dest);
    q.bind(4, leg.calleeNum);
    q.bind(5, leg.conference);
    q.bind(6, leg.uuid);
    return q.step() == SQLITE_DONE;
}

bool StateDb::deleteChannel(const QString &uuid)
{
    if (!m_core)
        return false;
    Statement q(m_core, "DELETE FROM channels WHERE uuid=?");
    q.bind(1, uuid);
    return q.step() == SQLITE_DONE;
}

bool StateDb::upsertRegistration(const Registration &reg)
{
    if (!m_reg)
        return false;
    if (!exec(m_reg, "BEGIN IMMEDIATE"))
        return false;
    {
        // One binding per user: a device that moved replaces its old row.
        Statement del(m_reg, "DELETE FROM sip_registrations WHERE sip_user=?");
        del.bind(1, reg.sipUser);
        del.step();
    }
    Statement q(m_reg, "INSERT INTO sip_registrations (call_id, sip_user, sip_host, contact, status, network_ip,"
                       " network_port, expires, user_agent, answer_mode, answer_ms) VALUES (?,?,?,?,?,?,?,?,?,?,?)");
    q.bind(1, reg.callId);
    q.bind(2, reg.sipUser);
    q.bind(3, reg.sipHost);
    q.bind(4, reg.contact);
    q.bind(5, reg.status);
    q.bind(6, reg.networkIp);
    q.bind(7, reg.networkPort);
    q.bind(8, reg.expires);
    q.bind(9, QStringLiteral("ruvidaza"));
    q.bind(10, answerName(reg.answer));
    q.bind(11, qint64(reg.answerMs));
    const bool ok = q.step() == SQLITE_DONE;
    exec(m_reg, ok ? "COMMIT" : "ROLLBACK");
    return ok;
}

bool StateDb::deleteRegistration(const QString &sipUser)
{
    if (!m_reg)
        return false;
    Statement q(m_reg, "DELETE FROM sip_registrations WHERE sip_user=?");
    q.bind(1, sipUser);
    return q.step() == SQLITE_DONE;
}

QVector<QString> StateDb::purgeExpired(qint64 nowEpoch)
{
    QVector<QString> users;
    if (!m_reg)
        return users;
    {
        Statement q(m_reg, "SELECT sip_user FROM sip_registrations WHERE expires <= ?");
        q.bind(1, nowEpoch);
        while (q.ok() && q.step() == SQLITE_ROW)
            users.push_back(q.text(0));
    }
    if (!users.isEmpty()) {
        Statement del(m_reg, "DELETE FROM sip_registrations WHERE expires <= ?");
        del.bind(1, nowEpoch);
        del.step();
    }
    return users;
}
