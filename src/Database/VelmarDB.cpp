#include "VelmarDB.h"

#include "VDBHelper.h"
#include "VDBLog.h"

#include <QDeadlineTimer>
#include <QSqlDriver>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QReadLocker>
#include <QReadWriteLock>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QThread>
#include <QWriteLocker>

#include <algorithm>
#include <atomic>
#include <shared_mutex>

#include <sqlite3.h>

namespace {

const QString confCreateSql = QStringLiteral(
    "create table if not exists conf(id integer primary key autoincrement, K text, V text);");
const QString deviceCreateSql = QStringLiteral(
    "create table if not exists RDDevice(id integer primary key autoincrement, name text, number text unique, password text);");
const QString groupCreateSql = QStringLiteral(
    "create table if not exists RDGroup(id integer primary key autoincrement, sortIndex integer, volume integer, "
    "source text, name text, conference text unique, inputSipNumber text, inputSipPassword text, "
    "outputSipNumber text, outputSipPassword text, devices text, streamUrl text, audioType integer, audioId text, "
    "audioName text, priority interger, mediumLoopTimes integer, mediumLoopDuration integer, mediumLoopType text, "
    "medium text, sipTrunkEnable integer, sipTrunkServer text, sipTrunkPort text, sipTrunkNumber text, "
    "sipTrunkPassword text, sipTrunkName text, sipTrunkExpire text, scheduleEnable integer, scheduleRepeatType text, "
    "scheduleRepeatValue text, scheduleTime text, scheduleOperations text, rtpEnable integer, rtpUrl text, "
    "httpOutputEnable integer, prayLocation text, prayMethod integer, praySchool integer, "
    "prayLatitudeAdjustmentMethod integer, prayFiles text, backgroundType text, backgroundImage text, "
    "backgroundMainStream text, backgroundSubStream text);");
const QString confDropSql = QStringLiteral("drop table conf");
const QString deviceDropSql = QStringLiteral("drop table RDDevice");
const QString groupDropSql = QStringLiteral("drop table RDGroup");

QStringList groupValueColumns()
{
    return RDGroupInfo::columnNames().mid(1);
}

const QString &groupInsertSql()
{
    static const QString sql = [] {
        const QStringList columns = groupValueColumns();
        return QStringLiteral("insert into RDGroup(%1) values(:%2)")
            .arg(columns.join(QLatin1Char(',')), columns.join(QStringLiteral(",:")));
    }();
    return sql;
}

const QString &groupUpdateSql()
{
    static const QString sql = [] {
        QStringList assignments;
        for (const QString &column : groupValueColumns())
            assignments << QStringLiteral("%1=:%1").arg(column);
        return QStringLiteral("update RDGroup set %1 where id=:id").arg(assignments.join(QLatin1Char(',')));
    }();
    return sql;
}

// Process-wide connection bookkeeping. The import flag and the open count
// change together under one mutex, so that no connection can open between
// an import's check for zero and its replacing the file.
QMutex &gateMutex()
{
    static QMutex mutex;
    return mutex;
}
bool s_importing = false;
QAtomicInt s_openCount;
std::atomic<quint64> s_dataVersion{0};
std::atomic<quint64> s_commits{0};

int countCommit(void *)
{
    s_commits.fetch_add(1, std::memory_order_relaxed);
    return 0; // let the commit go ahead
}

// Every commit on the connection, explicit or a lone statement, is counted.
void watchCommits(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return;
    if (sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData()))
        sqlite3_commit_hook(connection, countCommit, nullptr);
}

QMutex &registryMutex()
{
    static QMutex mutex;
    return mutex;
}
QVector<VelmarDB *> &registry()
{
    static QVector<VelmarDB *> list;
    return list;
}

// The kept connections: those waiting to be lent, and for each one lent the
// epoch it was lent in. A new data folder or a close of the idle ones starts
// a new epoch; a connection of an older epoch is closed when it comes back.
struct ConnectionPool
{
    QMutex mutex;
    QVector<VelmarDB *> idle;
    QHash<VelmarDB *, quint64> lent;
    quint64 epoch = 0;
    int dataDirGeneration = -1;
};

ConnectionPool &pool()
{
    // Never destroyed: connections must not close after Qt's SQL registry
    // has gone at exit; shut-down closes them in order.
    static ConnectionPool *instance = new ConnectionPool;
    return *instance;
}

void discardConnection(VelmarDB *db)
{
    VelmarDB::unregisterDB(db);
    db->close();
    delete db;
}

QReadWriteLock &hookLock()
{
    static QReadWriteLock lock(QReadWriteLock::Recursive);
    return lock;
}
// The status sources are read on every zone look-up, by many request threads
// at once: readers share this lock without queueing on a mutex, as they
// would on the recursive one above. A source never calls back in here.
std::shared_mutex &statusSourceLock()
{
    static std::shared_mutex lock;
    return lock;
}
VelmarDB::DeviceStatusSource s_deviceStatusSource;
VelmarDB::GroupStatusSource s_groupStatusSource;
VelmarDB::Notification s_dataReloaded;
VelmarDB::Notification s_configurationReload;

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

} // namespace

VelmarDB::VelmarDB(bool openNow)
{
    if (openNow && !isImporting())
        open(QString());
}

VelmarDB::~VelmarDB()
{
    close();
}

bool VelmarDB::isOpen()
{
    // An import may close this connection from its own thread.
    QMutexLocker lock(&m_mutex);
    return VDB::isOpen();
}

bool VelmarDB::open(const QString &connectionName)
{
    QMutexLocker lock(&m_mutex);
    if (isOpen())
        return true;
    {
        QMutexLocker gate(&gateMutex());
        if (s_importing) {
            setErrorText(QStringLiteral("the database is being imported"));
            return false;
        }
        s_openCount.ref();
    }
    if (VDB::open(connectionName)) {
        markDataChanged();
        watchCommits(m_db);
        return true;
    }
    s_openCount.deref();
    return false;
}

void VelmarDB::close()
{
    QMutexLocker lock(&m_mutex);
    if (!isOpen())
        return;
    VDB::close();
    s_openCount.deref();
}

QString VelmarDB::version()
{
    return QStringLiteral("1.0.0");
}

QString VelmarDB::filePath()
{
    return dbFilePath();
}

bool VelmarDB::upgradeTables(QSqlDatabase oldDb, QSqlDatabase newDb)
{
    bool complete = VDBHelper::upgradeTable(oldDb, newDb, confDropSql, confCreateSql, QStringLiteral("conf"));
    complete = VDBHelper::upgradeTable(oldDb, newDb, deviceDropSql, deviceCreateSql, QStringLiteral("RDDevice")) && complete;
    complete = VDBHelper::upgradeTable(oldDb, newDb, groupDropSql, groupCreateSql, QStringLiteral("RDGroup")) && complete;
    return complete;
}

QString VelmarDB::name()
{
    return QStringLiteral("velmar");
}

void VelmarDB::checkSqlQueryError(const QSqlQuery &query, const QString &statementText)
{
    const QSqlError error = query.lastError();
    VDB_LOG("VelmarDB::checkSqlQueryError", "query error %d, %s -> %s\n", int(error.type()),
            utf8(statementText).constData(), utf8(error.text()).constData());
    if (error.type() == QSqlError::ConnectionError)
        m_state.store(StateConnectionError);
}

bool VelmarDB::execStatement(QSqlQuery &query, const QString &sql)
{
    if (!query.exec()) {
        checkSqlQueryError(query, sql);
        return false;
    }
    return true;
}

// ---- settings -------------------------------------------------------------

bool VelmarDB::readConfig(const QString &key, QString &value)
{
    QMutexLocker lock(&m_mutex);
    const QString sql = QStringLiteral("select * from conf where K=:K");
    QSqlQuery query(m_db);
    if (!query.prepare(sql)) {
        checkSqlQueryError(query, sql);
        return false;
    }
    query.bindValue(QStringLiteral(":K"), key);
    if (!execStatement(query, sql) || !query.next())
        return false;
    value = query.value(QStringLiteral("V")).toString();
    return true;
}

QString VelmarDB::getConfig(const QString &key, const QString &defaultValue)
{
    QString value;
    return readConfig(key, value) ? value : defaultValue;
}

bool VelmarDB::hasConfig(const QString &key)
{
    QString value;
    return readConfig(key, value);
}

void VelmarDB::setConfig(const QString &key, const QString &value)
{
    QMutexLocker lock(&m_mutex);
    QString stored;
    const QString sql = readConfig(key, stored) ? QStringLiteral("update conf set V=:V where K=:K")
                                                : QStringLiteral("insert into conf(K,V) values(:K,:V)");
    execUpdate(sql, {{QStringLiteral(":K"), key}, {QStringLiteral(":V"), value}});
}

bool VelmarDB::execUpdate(const QString &sql, const QVector<QPair<QString, QVariant>> &values)
{
    QMutexLocker lock(&m_mutex);
    QSqlQuery query(m_db);
    if (!query.prepare(sql)) {
        checkSqlQueryError(query, sql);
        return false;
    }
    for (const auto &value : values)
        query.bindValue(value.first, value.second);
    return execStatement(query, sql);
}

bool VelmarDB::execDataUpdate(const QString &sql, const QVector<QPair<QString, QVariant>> &values)
{
    const bool ok = execUpdate(sql, values);
    markDataChanged();
    return ok;
}

void VelmarDB::markDataChanged()
{
    s_dataVersion.fetch_add(1, std::memory_order_acq_rel);
}

quint64 VelmarDB::dataVersion()
{
    return s_dataVersion.load(std::memory_order_acquire);
}

// ---- devices --------------------------------------------------------------

int VelmarDB::insertDevice(const QString &name, const QString &number, const QString &password)
{
    QMutexLocker lock(&m_mutex);
    const QString sql = QStringLiteral("insert into RDDevice(name,number,password) values(:name,:number,:password)");
    QSqlQuery query(m_db);
    if (!query.prepare(sql)) {
        checkSqlQueryError(query, sql);
        return 0;
    }
    query.bindValue(QStringLiteral(":name"), name);
    query.bindValue(QStringLiteral(":number"), number);
    query.bindValue(QStringLiteral(":password"), password);
    const bool ok = execStatement(query, sql);
    markDataChanged();
    return ok ? query.lastInsertId().toInt() : 0;
}

bool VelmarDB::updateDevice(int id, const QString &name, const QString &password)
{
    return execDataUpdate(QStringLiteral("update RDDevice set name=:name, password=:password where id=:id"),
                      {{QStringLiteral(":name"), name},
                       {QStringLiteral(":password"), password},
                       {QStringLiteral(":id"), id}});
}

bool VelmarDB::deleteDevice(int id)
{
    return execDataUpdate(QStringLiteral("delete from RDDevice where id=:id"), {{QStringLiteral(":id"), id}});
}

QVector<RDDevice> VelmarDB::insertDevices(const QVector<RDDevice> &devices)
{
    QMutexLocker lock(&m_mutex);
    QVector<RDDevice> stored;
    if (devices.isEmpty() || !m_db.transaction()) {
        if (!devices.isEmpty())
            VDB_LOG("VelmarDB::insertDevices", "no transaction: %s\n", m_db.lastError().text().toUtf8().constData());
        return stored;
    }
    const QString sql = QStringLiteral("insert into RDDevice(name,number,password) values(:name,:number,:password)");
    QSqlQuery query(m_db);
    if (!query.prepare(sql)) {
        checkSqlQueryError(query, sql);
        m_db.rollback();
        return stored;
    }
    QSet<QString> numbers;
    for (const RDDevice &device : devices) {
        // The unique number column refuses a stored number; a repeat within
        // the list is left out before it reaches the table.
        if (numbers.contains(device.number))
            continue;
        numbers.insert(device.number);
        query.bindValue(QStringLiteral(":name"), device.name);
        query.bindValue(QStringLiteral(":number"), device.number);
        query.bindValue(QStringLiteral(":password"), device.password);
        if (!query.exec())
            continue;
        RDDevice row = device;
        row.id = query.lastInsertId().toInt();
        stored.append(row);
    }
    if (!m_db.commit()) {
        VDB_LOG("VelmarDB::insertDevices", "commit failed: %s\n", m_db.lastError().text().toUtf8().constData());
        m_db.rollback();
        return {};
    }
    markDataChanged();
    return stored;
}

QVector<RDDevice> VelmarDB::deleteDevices(const QVector<RDDevice> &devices)
{
    QMutexLocker lock(&m_mutex);
    QVector<RDDevice> deleted;
    if (devices.isEmpty() || !m_db.transaction())
        return deleted;
    const QString sql = QStringLiteral("delete from RDDevice where id=:id");
    QSqlQuery query(m_db);
    if (!query.prepare(sql)) {
        checkSqlQueryError(query, sql);
        m_db.rollback();
        return deleted;
    }
    for (const RDDevice &device : devices) {
        query.bindValue(QStringLiteral(":id"), device.id);
        if (query.exec() && query.numRowsAffected() > 0)
            deleted.append(device);
    }
    if (!m_db.commit()) {
        m_db.rollback();
        return {};
    }
    markDataChanged();
    return deleted;
}

QVector<RDDevice> VelmarDB::selectDevicesWithStatus(const QMap<QString, QString> &statusMap)
{
    QMutexLocker lock(&m_mutex);
    QVector<RDDevice> devices;
    const QString sql = QStringLiteral("select * from RDDevice");
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        checkSqlQueryError(query, sql);
        return devices;
    }
    if (!execStatement(query, sql))
        return devices;
    const QVector<int> indexes = RDDeviceInfo::columnIndexes(query.record());
    while (query.next()) {
        const RDDeviceInfo info(query, indexes);
        if (info.id > 0)
            devices.append(RDDevice(info, statusMap.value(info.number, QStringLiteral("none"))));
    }
    if (query.lastError().isValid()) {
        checkSqlQueryError(query, sql);
        return QVector<RDDevice>();
    }
    sortDevices(devices);
    return devices;
}

QVector<RDDevice> VelmarDB::selectDevices()
{
    return selectDevicesWithStatus(currentDeviceStatus());
}

// ---- zones ----------------------------------------------------------------

bool VelmarDB::bindGroupAndExec(const QString &sql, const RDGroup &group, bool withId, int *newId)
{
    QMutexLocker lock(&m_mutex);
    QSqlQuery query(m_db);
    if (!query.prepare(sql)) {
        checkSqlQueryError(query, sql);
        return false;
    }
#define RD_BIND(kind, field) query.bindValue(QStringLiteral(":" #field), group.field);
    RD_GROUP_COLUMNS(RD_BIND)
#undef RD_BIND
    if (withId)
        query.bindValue(QStringLiteral(":id"), group.id);
    const bool ok = execStatement(query, sql);
    markDataChanged();
    if (!ok)
        return false;
    if (newId)
        *newId = query.lastInsertId().toInt();
    return true;
}

int VelmarDB::insertGroup(const RDGroup &group)
{
    int id = 0;
    return bindGroupAndExec(groupInsertSql(), group, false, &id) ? id : 0;
}

bool VelmarDB::updateGroup(const RDGroup &group)
{
    return bindGroupAndExec(groupUpdateSql(), group, true, nullptr);
}

bool VelmarDB::updateGroupBackground(const RDGroup &group)
{
    return execDataUpdate(QStringLiteral("update RDGroup set backgroundType=:backgroundType,backgroundImage=:backgroundImage,"
                                     "backgroundMainStream=:backgroundMainStream,backgroundSubStream=:backgroundSubStream "
                                     "where id=:id"),
                      {{QStringLiteral(":backgroundType"), group.backgroundType},
                       {QStringLiteral(":backgroundImage"), group.backgroundImage},
                       {QStringLiteral(":backgroundMainStream"), group.backgroundMainStream},
                       {QStringLiteral(":backgroundSubStream"), group.backgroundSubStream},
                       {QStringLiteral(":id"), group.id}});
}

bool VelmarDB::updateGroupSortIndex(const RDGroup &group)
{
    return execDataUpdate(QStringLiteral("update RDGroup set sortIndex=:sortIndex where id=:id"),
                      {{QStringLiteral(":sortIndex"), group.sortIndex}, {QStringLiteral(":id"), group.id}});
}

bool VelmarDB::updateGroupVolume(const RDGroup &group)
{
    return execDataUpdate(QStringLiteral("update RDGroup set volume=:volume where id=:id"),
                      {{QStringLiteral(":volume"), group.volume}, {QStringLiteral(":id"), group.id}});
}

bool VelmarDB::deleteGroup(const RDGroup &group)
{
    return execDataUpdate(QStringLiteral("delete from RDGroup where id=:id"), {{QStringLiteral(":id"), group.id}});
}

QVector<RDGroup> VelmarDB::readGroups(const QString &sql, const QString &bindName, const QVariant &bindValue)
{
    QMutexLocker lock(&m_mutex);
    QVector<RDGroup> groups;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        checkSqlQueryError(query, sql);
        return groups;
    }
    if (!bindName.isEmpty())
        query.bindValue(bindName, bindValue);
    if (!execStatement(query, sql))
        return groups;
    const QMap<QString, RDGroupStatus> status = currentGroupStatus();
    const QVector<int> indexes = RDGroupInfo::columnIndexes(query.record());
    while (query.next()) {
        const RDGroupInfo info(query, indexes);
        if (info.id > 0)
            groups.append(RDGroup(info, status.value(info.conference, RDGroupStatus())));
    }
    if (query.lastError().isValid()) {
        checkSqlQueryError(query, sql);
        return QVector<RDGroup>();
    }
    return groups;
}

QVector<RDGroup> VelmarDB::selectGroups()
{
    QVector<RDGroup> groups = readGroups(QStringLiteral("select * from RDGroup"), QString(), QVariant());
    sortGroups(groups);
    return groups;
}

RDGroup VelmarDB::selectGroupById(int id)
{
    const QVector<RDGroup> groups =
        readGroups(QStringLiteral("select * from RDGroup where id=:id"), QStringLiteral(":id"), id);
    return groups.isEmpty() ? RDGroup() : groups.first();
}

RDGroup VelmarDB::selectGroupByConference(const QString &conference)
{
    const QVector<RDGroup> groups = readGroups(QStringLiteral("select * from RDGroup where conference=:conference"),
                                               QStringLiteral(":conference"), conference);
    return groups.isEmpty() ? RDGroup() : groups.first();
}

// ---- conference numbers, order, start-up -----------------------------------

QString VelmarDB::nextConference()
{
    const QVector<RDGroup> groups = selectGroups();
    if (groups.isEmpty())
        return QStringLiteral("3000");
    QSet<QString> taken;
    for (const RDGroup &group : groups)
        taken.insert(group.conference);
    for (int n = 3000; n <= 3999; ++n) {
        const QString candidate = QString::number(n);
        if (!taken.contains(candidate))
            return candidate;
    }
    return QString();
}

bool VelmarDB::isValidConference(const QString &text)
{
    if (text.size() != 4)
        return false;
    const int value = text.toInt(nullptr, 10);
    return value >= 3000 && value <= 3999;
}

void VelmarDB::fillSipNumbers(RDGroup &group)
{
    if (!isValidConference(group.conference))
        return;
    const int conference = group.conference.toInt(nullptr, 10);
    group.inputSipNumber = QString::number(conference + 1000);
    group.inputSipPassword = group.inputSipNumber;
    group.outputSipNumber = QString::number(conference + 2000);
    group.outputSipPassword = group.outputSipNumber;
}

void VelmarDB::createDefaultGroup()
{
    if (!selectGroups().isEmpty())
        return;
    RDGroup group;
    group.conference = nextConference();
    group.volume = 0;
    group.source = QStringLiteral("media");
    group.mediumLoopType = QStringLiteral("list");
    fillSipNumbers(group);
    insertGroup(group);
}

void VelmarDB::sortDevices(QVector<RDDevice> &devices)
{
    std::stable_sort(devices.begin(), devices.end(),
                     [](const RDDevice &a, const RDDevice &b) { return a.number < b.number; });
}

void VelmarDB::sortGroups(QVector<RDGroup> &groups)
{
    std::stable_sort(groups.begin(), groups.end(), [](const RDGroup &a, const RDGroup &b) {
        if (a.sortIndex != b.sortIndex)
            return a.sortIndex > b.sortIndex;
        return a.id < b.id;
    });
}

QString VelmarDB::dbFilePath()
{
    return dataFilePath(dbFileName());
}

QString VelmarDB::dbFileName()
{
    return QStringLiteral("velmar.db");
}

// ---- shared instances, export and import -----------------------------------

void VelmarDB::registerDB(VelmarDB *db)
{
    QMutexLocker lock(&registryMutex());
    registry().removeAll(db);
    registry().append(db);
}

void VelmarDB::unregisterDB(VelmarDB *db)
{
    QMutexLocker lock(&registryMutex());
    registry().removeOne(db);
}

bool VelmarDB::isRegistered(VelmarDB *db)
{
    QMutexLocker lock(&registryMutex());
    return registry().contains(db);
}

void VelmarDB::reopenCheck()
{
    QMutexLocker lock(&m_mutex);
    const int state = m_state.load();
    if (state != StateConnectionError && state != StateReopenAfterImport)
        return;
    const QString name = m_connectionName;
    close();
    if (!isImporting())
        open(name);
    m_state.store(StateNormal);
}

bool VelmarDB::reopenIfNeeded()
{
    reopenCheck();
    return isOpen();
}

bool VelmarDB::isImporting()
{
    QMutexLocker gate(&gateMutex());
    return s_importing;
}

quint64 VelmarDB::commitCount()
{
    return s_commits.load();
}

int VelmarDB::openConnectionCount()
{
    return s_openCount.loadAcquire();
}

VelmarDB *VelmarDB::borrowConnection()
{
    ConnectionPool &kept = pool();
    VelmarDB *db = nullptr;
    QVector<VelmarDB *> stale;
    int generation = 0;
    {
        QMutexLocker lock(&kept.mutex);
        generation = VDB::dataDirGeneration();
        if (kept.dataDirGeneration != generation) {
            kept.dataDirGeneration = generation;
            ++kept.epoch;
            stale.swap(kept.idle);
        }
        if (!kept.idle.isEmpty()) {
            db = kept.idle.takeLast();
            kept.lent.insert(db, kept.epoch);
        }
    }
    for (VelmarDB *old : stale)
        discardConnection(old);
    if (!db) {
        // Opened outside the pool's lock: a new connection may wait for the
        // file. During an import it starts closed and opens on a later loan.
        db = new VelmarDB(true);
        registerDB(db);
        QMutexLocker lock(&kept.mutex);
        // Opened on a folder that has been left meanwhile: not kept.
        kept.lent.insert(db, kept.dataDirGeneration == generation ? kept.epoch : ~quint64(0));
    }
    db->reopenCheck();
    // Made while an import ran, it was not yet registered when the import
    // marked the connections for reopening.
    if (!db->isOpen() && !isImporting()) {
        const QString name = db->connectionName();
        db->open(name);
    }
    return db;
}

void VelmarDB::returnConnection(VelmarDB *db)
{
    if (!db)
        return;
    ConnectionPool &kept = pool();
    {
        QMutexLocker lock(&kept.mutex);
        const auto it = kept.lent.find(db);
        if (it == kept.lent.end())
            return;
        const bool current = it.value() == kept.epoch && kept.dataDirGeneration == VDB::dataDirGeneration();
        kept.lent.erase(it);
        if (current) {
            kept.idle.append(db);
            return;
        }
    }
    discardConnection(db);
}

void VelmarDB::closeIdleConnections()
{
    ConnectionPool &kept = pool();
    QVector<VelmarDB *> idle;
    {
        QMutexLocker lock(&kept.mutex);
        ++kept.epoch;
        idle.swap(kept.idle);
    }
    for (VelmarDB *db : idle)
        discardConnection(db);
}

void VelmarDB::closeKeptConnections()
{
    closeIdleConnections();
}

bool VelmarDB::exportDB(const QString &destination)
{
    // The copy reads through SQLite and would see the log as well; emptied
    // first, the file on disk is whole at the moment of the export too.
    VelmarDB *live = borrowConnection();
    if (!live->checkpoint())
        VDB_LOG("VelmarDB::exportDB", "%s -> exported without emptying the write-ahead log first\n",
                utf8(destination).constData());
    returnConnection(live);
    const QVector<QString> drops = VDBHelper::makeList(confDropSql, deviceDropSql, groupDropSql);
    const QVector<QString> creates = VDBHelper::makeList(confCreateSql, deviceCreateSql, groupCreateSql);
    const QVector<QString> tables =
        VDBHelper::makeList(QStringLiteral("conf"), QStringLiteral("RDDevice"), QStringLiteral("RDGroup"));
    return VDBHelper::exportDatabase(dbFilePath(), destination, drops, creates, tables,
                                     QStringLiteral("velmar"), QStringLiteral("1.0.0"));
}

bool VelmarDB::importDB(const QString &source, int waitMs)
{
    {
        QMutexLocker gate(&gateMutex());
        s_importing = true;
    }
    {
        QMutexLocker lock(&registryMutex());
        for (VelmarDB *db : registry()) {
            QMutexLocker instance(&db->m_mutex);
            db->close();
            db->m_state.store(StateClosedForImport);
        }
    }

    // The file may only be replaced once no connection is open on it: on
    // Linux a connection would go on writing to the replaced file.
    const QDeadlineTimer deadline(waitMs);
    while (s_openCount.loadAcquire() > 0 && !deadline.hasExpired())
        QThread::msleep(5);
    bool result = false;
    const int stillOpen = s_openCount.loadAcquire();
    if (stillOpen > 0) {
        VDB_LOG("VelmarDB::importDB", "%s -> %d connections still open; import refused\n",
                utf8(source).constData(), stillOpen);
    } else {
        const QVector<QString> drops = VDBHelper::makeList(confDropSql, deviceDropSql, groupDropSql);
        const QVector<QString> creates = VDBHelper::makeList(confCreateSql, deviceCreateSql, groupCreateSql);
        const QVector<QString> tables =
            VDBHelper::makeList(QStringLiteral("conf"), QStringLiteral("RDDevice"), QStringLiteral("RDGroup"));
        result = VDBHelper::importDatabase(source, dbFilePath(), drops, creates, tables, QStringLiteral("velmar"),
                                           QStringLiteral("1.0.0"));
    }

    markDataChanged();
    {
        QMutexLocker gate(&gateMutex());
        s_importing = false;
    }
    {
        QMutexLocker lock(&registryMutex());
        for (VelmarDB *db : registry())
            db->m_state.store(StateReopenAfterImport);
    }
    {
        QReadLocker lock(&hookLock());
        if (s_dataReloaded)
            s_dataReloaded();
        if (s_configurationReload)
            s_configurationReload();
    }
    return result;
}

void VelmarDB::setDeviceStatusSource(const DeviceStatusSource &source)
{
    std::unique_lock<std::shared_mutex> lock(statusSourceLock());
    s_deviceStatusSource = source;
}

void VelmarDB::setGroupStatusSource(const GroupStatusSource &source)
{
    std::unique_lock<std::shared_mutex> lock(statusSourceLock());
    s_groupStatusSource = source;
}

void VelmarDB::setDataReloadedHandler(const Notification &handler)
{
    QWriteLocker lock(&hookLock());
    s_dataReloaded = handler;
}

void VelmarDB::setConfigurationReloadHandler(const Notification &handler)
{
    QWriteLocker lock(&hookLock());
    s_configurationReload = handler;
}

QMap<QString, QString> VelmarDB::currentDeviceStatus()
{
    std::shared_lock<std::shared_mutex> lock(statusSourceLock());
    return s_deviceStatusSource ? s_deviceStatusSource() : QMap<QString, QString>();
}

QMap<QString, RDGroupStatus> VelmarDB::currentGroupStatus()
{
    std::shared_lock<std::shared_mutex> lock(statusSourceLock());
    return s_groupStatusSource ? s_groupStatusSource() : QMap<QString, RDGroupStatus>();
}
