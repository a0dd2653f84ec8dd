#pragma once

#include "PAPrayDay.h"
#include "PAPrayRequest.h"
#include "VelmarTimedThread.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class VelmarRunRecord;

// Starts prayer zones at the prayer times of their place: a pass every 2 s
// looks up each zone's timetable (the month's cache file in the prayer
// folder, else the prayer-times service) and starts the zone with the
// prayer's index when a prayer with an announcement file falls due. Each
// prayer starts once per day (VelmarRunRecord); minutes no pass saw are
// caught up (VelmarPassWindow). Zones whose timetable is cached are served
// before any request is made, and a month whose request failed is asked
// again only after a growing pause (1 min doubling up to 30 min).
class PAPrayWatchThread : public VelmarTimedThread
{
public:
    // Starts a zone for a prayer index; by default the central object's
    // prayer start.
    using StartAction = std::function<void(const RDGroup &, int)>;

    static constexpr qint64 kFirstRetryMs = 60 * 1000;
    static constexpr qint64 kLastRetryMs = 30 * 60 * 1000;

    explicit PAPrayWatchThread(std::shared_ptr<VelmarRunRecord> record);

    void setStartAction(const StartAction &start) { m_start = start; }

    // Sets the stop flag and ends a pending request at once (it then fails).
    void stop() override;

    // One pass over `groups` at `now` (the caller checks "pray enable").
    void runPass(const QVector<RDGroup> &groups, const QDateTime &now, qint64 steadyMs);

    // The day `year`-`month`-`day` of the zone's timetable, fetched (with
    // the retry pause) when its month is not cached; an empty day when
    // there is none.
    PAPrayDay getPrayDay(const RDGroup &group, int year, int month, int day);

    // A blocking GET of `url` on the calling thread, ended by the request
    // time-out or stop(). Returns 0 and the body on success, else a network
    // error code and no bytes.
    int httpGet(const QString &url, QByteArray &out);

    // Requests made so far (tests watch the retry pause).
    int requestCount() const { return m_request.count(); }

protected:
    // Honours "pray enable": with it off no zone is looked at.
    void pass(VelmarDB &database, QVector<RDGroup> &groups, const QDateTime &now, qint64 steadyMs) override;

private:
    struct Retry
    {
        qint64 notBeforeMs = 0;
        qint64 pauseMs = 0;
    };

    // The month's days: from its cache file, else the last good copy kept
    // here. `fresh` tells whether the file itself held them.
    QVector<PAPrayDay> cachedMonth(const QString &path, bool *fresh);
    // Requests the month unless its retry pause runs; true when a timetable
    // was received and cached.
    bool fetchMonth(const RDGroup &group, int year, int month, qint64 steadyMs);
    // The timetable rows the current window needs for `group`; `stale` tells
    // whether some month of them is not in its cache file.
    QVector<PAPrayDay> rowsFor(const RDGroup &group, bool *stale, QVector<QDate> *months);
    // Starts at most one due prayer of the zone; true when another one is
    // still due in the window.
    bool runPrayEvent(const RDGroup &group, const QVector<PAPrayDay> &rows, bool *started);
    void warnAboutZone(const PAPrayDay &day);

    std::shared_ptr<VelmarRunRecord> m_record;
    StartAction m_start;
    QDateTime m_passTime;

    // The request this thread waits for, ended by stop().
    PAPrayRequest m_request;

    // Used on this thread only.
    QHash<QString, QVector<PAPrayDay>> m_lastGood;
    QHash<QString, Retry> m_retries;
    QSet<QString> m_zonesWarned;
};
