#pragma once

#include "RDDevice.h"
#include "RDGroup.h"
#include "RDGroupStatus.h"
#include "VDB.h"

#include <QMap>
#include <QRecursiveMutex>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>

class QSqlQuery;

// The application database "velmar.db": settings (`conf`), devices and zones.
// An instance is used by the thread that owns its connection; callers that
// may run on another thread go through VelmarDBGuard.
class VelmarDB : public VDB
{
    Q_OBJECT
public:
    enum ConnectionState {
        StateNormal = 0,
        StateConnectionError = 1,
        StateClosedForImport = 2,
        StateReopenAfterImport = 3,
    };

    explicit VelmarDB(bool open);
    ~VelmarDB() override;

    bool isOpen() override;
    bool open(const QString &connectionName) override;
    void close() override;
    QString version() override;
    QString filePath() override;
    bool upgradeTables(QSqlDatabase oldDb, QSqlDatabase newDb) override;
    QString name() override;

    // Settings.
    bool readConfig(const QString &key, QString &value);
    QString getConfig(const QString &key, const QString &defaultValue);
    bool hasConfig(const QString &key);
    void setConfig(const QString &key, const QString &value);

    // Devices.
    int insertDevice(const QString &name, const QString &number, const QString &password);
    bool updateDevice(int id, const QString &name, const QString &password);
    bool deleteDevice(int id);
    // Inserts the devices in one transaction. A device whose number is
    // stored already, or repeated earlier in the list, is left out. Returns
    // the devices stored, with their new ids; none when the transaction failed.
    QVector<RDDevice> insertDevices(const QVector<RDDevice> &devices);
    // Deletes the devices in one transaction; the devices whose row went.
    QVector<RDDevice> deleteDevices(const QVector<RDDevice> &devices);
    QVector<RDDevice> selectDevicesWithStatus(const QMap<QString, QString> &statusMap);
    QVector<RDDevice> selectDevices();

    // Zones.
    int insertGroup(const RDGroup &group);
    bool updateGroup(const RDGroup &group);
    bool updateGroupBackground(const RDGroup &group);
    bool updateGroupSortIndex(const RDGroup &group);
    bool updateGroupVolume(const RDGroup &group);
    bool deleteGroup(const RDGroup &group);
    QVector<RDGroup> selectGroups();
    RDGroup selectGroupById(int id);
    RDGroup selectGroupByConference(const QString &conference);

    // Conference numbers, order and start-up.
    QString nextConference();
    static bool isValidConference(const QString &text);
    static void fillSipNumbers(RDGroup &group);
    void createDefaultGroup();
    static void sortDevices(QVector<RDDevice> &devices);
    static void sortGroups(QVector<RDGroup> &groups);
    static QString dbFilePath();
    static QString dbFileName();

    // Logs a failed statement; a connection error marks the connection for reopening.
    void checkSqlQueryError(const QSqlQuery &query, const QString &statementText);

    int connectionState() const { return m_state.load(); }
    void setConnectionState(int state) { m_state.store(state); }

    // Shared instances: registered by their owner thread, so that an import
    // can close them and have them reopen on their owner's next use.
    static void registerDB(VelmarDB *db);
    static void unregisterDB(VelmarDB *db);
    static bool isRegistered(VelmarDB *db);
    // Owner-thread check: reopens a connection marked for it. Whether the
    // connection is open afterwards.
    bool reopenIfNeeded();

    // Connections kept open for callers away from a shared instance's own
    // thread (HTTP and session threads, configuration objects): each is lent
    // to one thread at a time, registered like a shared instance, and stays
    // open when it comes back, so that no request opens the database.
    static VelmarDB *borrowConnection();
    static void returnConnection(VelmarDB *db);
    // Closes the kept connections not lent right now; those lent are closed
    // when they come back (shut-down, before the file is replaced).
    static void closeIdleConnections();

    // Empties the write-ahead log into the live file first, so that the copy
    // holds every committed change.
    static bool exportDB(const QString &destination);
    // Replaces the database with the content of `source`. The file is only
    // replaced once no connection of this process is open on it; connections
    // that are still open after `waitMs` make the import fail untouched.
    static bool importDB(const QString &source, int waitMs = 3000);
    static bool isImporting();
    // Connections of this class open right now, over all threads.
    static int openConnectionCount();
    // Transactions committed on this class's connections since the start,
    // explicit ones and single statements alike.
    static quint64 commitCount();

    // Counts every change to the device and zone tables made by any
    // connection of this process, every import and every connection opened
    // (a new data folder, an upgrade): a copy of those tables read after
    // taking the count is current for as long as the count stays the same.
    // A change counts once its statement has run.
    static quint64 dataVersion();

    // The switch control's live maps and its reload entry, and the central
    // object's reload notification. Each is set by its owner while it exists
    // and cleared (an empty function) before it goes away.
    using DeviceStatusSource = std::function<QMap<QString, QString>()>;
    using GroupStatusSource = std::function<QMap<QString, RDGroupStatus>()>;
    using Notification = std::function<void()>;
    static void setDeviceStatusSource(const DeviceStatusSource &source);
    static void setGroupStatusSource(const GroupStatusSource &source);
    static void setDataReloadedHandler(const Notification &handler);
    static void setConfigurationReloadHandler(const Notification &handler);
    // The switch control's live maps (empty while it does not exist).
    static QMap<QString, QString> currentDeviceStatus();
    static QMap<QString, RDGroupStatus> currentGroupStatus();

protected:
    void closeKeptConnections() override;

private:
    friend class VelmarDBGuard;

    // Closes and reopens a connection in state 1 or 3 (under its own name).
    void reopenCheck();
    bool execStatement(QSqlQuery &query, const QString &sql);
    bool bindGroupAndExec(const QString &sql, const RDGroup &group, bool withId, int *newId);
    bool execUpdate(const QString &sql, const QVector<QPair<QString, QVariant>> &values);
    // execUpdate on the device or zone tables: counted in dataVersion().
    bool execDataUpdate(const QString &sql, const QVector<QPair<QString, QVariant>> &values);
    static void markDataChanged();
    QVector<RDGroup> readGroups(const QString &sql, const QString &bindName, const QVariant &bindValue);

    std::atomic<int> m_state{StateNormal};
    // Held around every statement, and by an import while it closes the
    // connection from another thread, so that a connection never closes
    // under a running statement.
    mutable QRecursiveMutex m_mutex;
};
