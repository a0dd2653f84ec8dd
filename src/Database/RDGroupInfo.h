#pragma once

#include <QString>
#include <QStringList>

#include <QVector>

class QSqlQuery;
class QSqlRecord;

// Every stored column of a zone after `id`, in table order, as (kind, field).
// Kind `Int` columns are whole numbers, `Text` columns texts. Statements and the
// row reader are built from this one list so that they cannot drift apart.
#define RD_GROUP_COLUMNS(X) \
    X(Int, sortIndex) \
    X(Int, volume) \
    X(Text, source) \
    X(Text, name) \
    X(Text, conference) \
    X(Text, inputSipNumber) \
    X(Text, inputSipPassword) \
    X(Text, outputSipNumber) \
    X(Text, outputSipPassword) \
    X(Text, devices) \
    X(Text, streamUrl) \
    X(Int, audioType) \
    X(Text, audioId) \
    X(Text, audioName) \
    X(Int, priority) \
    X(Int, mediumLoopTimes) \
    X(Int, mediumLoopDuration) \
    X(Text, mediumLoopType) \
    X(Text, medium) \
    X(Int, sipTrunkEnable) \
    X(Text, sipTrunkServer) \
    X(Text, sipTrunkPort) \
    X(Text, sipTrunkNumber) \
    X(Text, sipTrunkPassword) \
    X(Text, sipTrunkName) \
    X(Text, sipTrunkExpire) \
    X(Int, scheduleEnable) \
    X(Text, scheduleRepeatType) \
    X(Text, scheduleRepeatValue) \
    X(Text, scheduleTime) \
    X(Text, scheduleOperations) \
    X(Int, rtpEnable) \
    X(Text, rtpUrl) \
    X(Int, httpOutputEnable) \
    X(Text, prayLocation) \
    X(Int, prayMethod) \
    X(Int, praySchool) \
    X(Int, prayLatitudeAdjustmentMethod) \
    X(Text, prayFiles) \
    X(Text, backgroundType) \
    X(Text, backgroundImage) \
    X(Text, backgroundMainStream) \
    X(Text, backgroundSubStream)

// The stored part of a zone: one row of table RDGroup, fields in column order.
struct RDGroupInfo
{
    int id = 0;                       // row id; 0 while not stored
    int sortIndex = 0;                // home screen order: descending, then id ascending
    int volume = 0;                   // -10 .. 10
    QString source;                   // "media", "stream", "device" or "pray"
    QString name;
    QString conference;               // "3000" .. "3999", unique
    QString inputSipNumber;
    QString inputSipPassword;
    QString outputSipNumber;
    QString outputSipPassword;
    QString devices;                  // member device ids joined by ";"
    QString streamUrl;
    int audioType = 0;
    QString audioId;
    QString audioName;
    int priority = 0;
    int mediumLoopTimes = 0;
    int mediumLoopDuration = 0;
    QString mediumLoopType;           // "list", "times" or "duration"
    QString medium;                   // media files joined by "\n"
    int sipTrunkEnable = 0;
    QString sipTrunkServer;
    QString sipTrunkPort;
    QString sipTrunkNumber;
    QString sipTrunkPassword;
    QString sipTrunkName;
    QString sipTrunkExpire;
    int scheduleEnable = 0;
    QString scheduleRepeatType;       // "onceonly", "daily", "weekly" or "monthly"
    QString scheduleRepeatValue;
    QString scheduleTime;
    QString scheduleOperations;       // "HH:mm;action" lines joined by "\n"
    int rtpEnable = 0;
    QString rtpUrl;
    int httpOutputEnable = 0;
    QString prayLocation;
    int prayMethod = 7;
    int praySchool = 0;
    int prayLatitudeAdjustmentMethod = 3;
    QString prayFiles;                // one file per prayer slot, joined by "\n"
    QString backgroundType;           // "image" or "video"
    QString backgroundImage;
    QString backgroundMainStream;
    QString backgroundSubStream;

    RDGroupInfo() = default;
    // Reads the query's current row by column name. Every field is assigned,
    // so a NULL or missing column gives 0 or an empty text, not the default.
    explicit RDGroupInfo(const QSqlQuery &query);
    // The same with the columns' positions worked out once per result
    // (see columnIndexes), for readers of many rows.
    RDGroupInfo(const QSqlQuery &query, const QVector<int> &indexes);

    // Position of each of the 44 columns in `record`, -1 where it is missing.
    static QVector<int> columnIndexes(const QSqlRecord &record);

    // The 44 column names in table order, `id` first.
    static const QStringList &columnNames();
};
