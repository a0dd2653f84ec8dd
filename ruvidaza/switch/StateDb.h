#pragma once

#include "Leg.h"
#include "Registration.h"

#include <QString>
#include <QVector>

struct sqlite3;

// The switch's live state as two SQLite files read by the program:
// "db/core.db" (channels) and "db/sofia_reg_internal.db" (sip_registrations).
//
// The files are opened in place and never replaced or unlinked: a reader that
// keeps its connection open across switch restarts must go on seeing the same
// file. WAL journalling lets readers run alongside the switch's writes without
// ever seeing a half-written state. Every change is one short transaction,
// committed before the console answer that caused it goes out.
class StateDb
{
public:
    StateDb() = default;
    ~StateDb();
    StateDb(const StateDb &) = delete;
    StateDb &operator=(const StateDb &) = delete;

    bool open(const QString &dbFolder, QString *error);
    void close();

    // Start of a run: no call survives a restart; unexpired bindings do.
    bool clearChannels();
    QVector<Registration> loadRegistrations(qint64 nowEpoch);

    bool insertChannel(const Leg &leg);
    bool updateChannel(const Leg &leg);
    bool deleteChannel(const QString &uuid);

    bool upsertRegistration(const Registration &reg);
    bool deleteRegistration(const QString &sipUser);
    // Removes bindings whose expiry has passed; returns the users removed.
    QVector<QString> purgeExpired(qint64 nowEpoch);

private:
    bool exec(sqlite3 *db, const char *sql, QString *error = nullptr);
    static bool openOne(const QString &path, sqlite3 **db, QString *error);

    sqlite3 *m_core = nullptr;
    sqlite3 *m_reg = nullptr;
};
