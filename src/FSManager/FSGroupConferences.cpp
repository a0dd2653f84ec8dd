#include "FSGroupConferences.h"

#include "FSGroupStartType.h"
#include "PASipManager.h"
#include "RDCoreDevice.h"
#include "RDGroup.h"
#include "RDLog.h"

#include <algorithm>
#include <chrono>
#include <tuple>
#include <vector>

namespace {

#define CONF_LOG(...) RDLogDetail(__FILE__, __func__, __LINE__, 5, __VA_ARGS__)

// Conference numbers are four-digit texts 3000..3999. Anything else could not
// be told apart from a stale conference, or would not even make a command.
bool isConferenceNumber(const QString &conference)
{
    bool ok = false;
    const int n = conference.toInt(&ok);
    return ok && conference.size() == 4 && n >= 3000 && n <= 3999;
}

// A call or app talk is interrupting the group right now (its level is the
// silenced one, not the group's own).
bool isInterruptedNow(const FSConference &r)
{
    return r.interrupted && (r.hasCaller() || !r.appLeg.isEmpty());
}

// The conference a console command acts on ("conference 3001 ..." or
// "conference 3001@profile ..."), or "" for any other command.
QString conferenceOfCommand(const QString &command)
{
    static const QString prefix = QStringLiteral("conference ");
    if (!command.startsWith(prefix))
        return QString();
    int end = prefix.size();
    while (end < command.size() && command.at(end) != QLatin1Char(' ') && command.at(end) != QLatin1Char('@'))
        ++end;
    return command.mid(prefix.size(), end - prefix.size());
}

// What the media steps of a pass change, and what a media switch changes.
auto mediaFields(FSConference &r)
{
    return std::tie(r.command, r.mediaPosition, r.playStartTime, r.failedPlays, r.itemStartTime, r.loopTimesLeft);
}

// What the leg and volume steps of a pass change, and what calls, app talk
// and volume changes change.
auto legFields(FSConference &r)
{
    return std::tie(r.volume, r.volumeChanged, r.savedVolume, r.interrupted, r.internalCaller, r.externalCaller,
                    r.appLeg, r.appLegRegistered, r.missCount);
}

// What names a group's two accounts in the account queue.
QString accountsOf(const RDGroup &group)
{
    return group.inputSipNumber + QLatin1Char('/') + group.outputSipNumber;
}

} // namespace

FSGroupConferences::FSGroupConferences(Environment environment)
    : m_env(std::move(environment)), m_pass(this)
{
    // Every hook may be left out (tests, tools): a missing one does nothing.
    if (!m_env.execute)
        m_env.execute = [](const QString &) { return QString(); };
    if (!m_env.postStopConference)
        m_env.postStopConference = [](const QString &, const QString &, quint64) {};
    if (!m_env.groupStarted)
        m_env.groupStarted = [](int, const QString &, const QString &, const QString &) {};
    if (!m_env.groupStopped)
        m_env.groupStopped = [](int, const QString &, const QString &, const QString &) {};
    if (!m_env.playChanged)
        m_env.playChanged = [](int, const QString &, int, const QString &) {};
    if (!m_env.internalIp)
        m_env.internalIp = [] { return QString(); };
    if (!m_env.internalPort)
        m_env.internalPort = [] { return 0; };
}

FSGroupConferences::~FSGroupConferences()
{
    // Hang-ups still queued go out first: their groups have been reported
    // as stopped.
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_quit = true;
    }
    m_queueChanged.notify_all();
    if (m_commandThread.joinable())
        m_commandThread.join();
}

// ----------------------------------------------------------- records

FSConference FSGroupConferences::buildConference(const RDGroup &group, int startType, int prayIndex)
{
    FSConference r;
    r.groupId = group.id;
    r.startType = startType;
    r.conference = group.conference;
    r.volume = group.volume;
    r.prayIndex = prayIndex;
    r.priority = group.priority;

    if (group.isMediaSource()) {
        const QString loop = group.mediumLoopType;
        if (loop.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0) {
            r.loopTimesLeft = 0;
        } else if (loop.compare(QLatin1String("list"), Qt::CaseInsensitive) == 0) {
            r.loopTimesLeft = -1;
        } else if (loop.compare(QLatin1String("duration"), Qt::CaseInsensitive) == 0) {
            r.loopTimesLeft = -1;
            r.loopDuration = group.mediumLoopDuration;
        } else if (loop.compare(QLatin1String("times"), Qt::CaseInsensitive) == 0) {
            r.loopTimesLeft = group.mediumLoopTimes;
        } else {
            r.loopTimesLeft = -1;
        }
    }

    r.command = FSConference::CommandNone;
    for (const RDDevice &d : group.deviceList)
        r.members.append(FSConferenceMember(d.number, false));
    r.members.append(FSConferenceMember(group.inputSipNumber, true));
    r.members.append(FSConferenceMember(group.outputSipNumber, false));

    if (startType != FSGroupStartCallConference && startType != FSGroupStartSipTrunk) {
        if (group.isMediaSource()) {
            QVector<QString> media = group.mediaList;
            if (media.isEmpty() && !group.medium.isEmpty()) {
                // The list was not rebuilt from its column by the caller.
                RDGroup copy = group;
                copy.updateMedia();
                media = copy.mediaList;
            }
            for (const QString &m : media)
                r.media.append(m);
            r.command = FSConference::CommandStart;
        } else if (group.isPraySource()) {
            QVector<QString> files = group.prayFileList;
            if (files.isEmpty()) {
                RDGroup copy = group;
                copy.updatePrayFiles();
                files = copy.prayFileList;
            }
            if (prayIndex >= 0 && prayIndex < files.size()) {
                r.media.append(files.at(prayIndex));
                r.command = FSConference::CommandStart;
            }
        }
    }
    if (group.rtpEnable != 0)
        r.rtpLeg = QStringLiteral("rtp%1").arg(group.conference);
    return r;
}

int FSGroupConferences::findGroup(int groupId) const
{
    for (int i = 0; i < m_records.size(); ++i) {
        if (m_records.at(i).groupId == groupId)
            return i;
    }
    return -1;
}

FSSipAccountQueue::Change FSGroupConferences::signIn(const RDGroup &group, const FSConference &record,
                                                    const QString &inputSourceUrl, const RDCoreDevice &device,
                                                    const std::shared_ptr<KelClient> &session)
{
    const QString ip = m_env.internalIp();
    const int port = m_env.internalPort();
    const int level = FSConference::sipLevel(record.volume);
    const QString publishPath = group.httpOutputEnable ? group.conference : QString();
    return [=, input = group.inputSipNumber, inputPassword = group.inputSipPassword, output = group.outputSipNumber,
            outputPassword = group.outputSipPassword] {
        PASipManager::Use sip;
        if (!sip)
            return;
        sip->lock();
        sip->registerSourceAccount(ip, port, input, inputPassword, inputSourceUrl, device, session, QString(), level);
        sip->registerSourceAccount(ip, port, output, outputPassword, QString(), RDCoreDevice(), nullptr, publishPath,
                                   level);
        sip->unlock();
    };
}

void FSGroupConferences::postSipChange(std::function<void(PASipManager *sip, const QString &ip, int port)> change,
                                       const QString &accounts, FSSipAccountQueue::Kind kind)
{
    const QString ip = m_env.internalIp();
    const int port = m_env.internalPort();
    m_sipAccounts.post(
        [ip, port, change = std::move(change)] {
            if (PASipManager::Use sip{}; sip)
                change(sip.get(), ip, port);
        },
        accounts, kind);
}

// ------------------------------------------------------ group operations

bool FSGroupConferences::startGroup(const RDGroup &group, const QString &internalCaller, QString externalCaller,
                                    int prayIndex, const QString &startType, const QString &from)
{
    if (group.id <= 0 || !isConferenceNumber(group.conference)) {
        CONF_LOG("refuse to start group %d with conference \"%s\", from = %s", group.id,
                 qUtf8Printable(group.conference), qUtf8Printable(from));
        return false;
    }
    const int type = fsGroupStartTypeFromText(startType);
    const bool isCall = type == FSGroupStartCallConference || type == FSGroupStartSipTrunk;
    // Starting a group that runs changes nothing but its start type (a call
    // breaks into it instead): found without the lock, and without making
    // the record that would only be dropped.
    if (!isCall && m_running.contains(group.id) == FSRunningGroups::Answer::Yes) {
        CONF_LOG("start a starting group %s, cause startType%s, internal = %s, external = %s, from = %s",
                 qUtf8Printable(group.conference), qUtf8Printable(startType), qUtf8Printable(internalCaller),
                 qUtf8Printable(externalCaller), qUtf8Printable(from));
        markStarted(group.conference, startType);
        return false;
    }
    bool alreadyRunning = false;
    quint64 notice = 0;
    const char *outcome = "start group";
    // The record and its sign-in are made before the lock is taken (and
    // dropped if the group runs already): the lock covers only the look-up
    // and the queueing, so starts and stops of other requests barely wait.
    FSConference fresh = buildConference(group, type, prayIndex);
    fresh.internalCaller = internalCaller;
    fresh.externalCaller = externalCaller;
    QString url;
    RDCoreDevice device;
    if (!isCall) {
        if (group.source.compare(QLatin1String("stream"), Qt::CaseInsensitive) == 0)
            url = group.streamUrl;
        else if (group.source.compare(QLatin1String("device"), Qt::CaseInsensitive) == 0)
            device = RDCoreDevice(group.audioId, group.audioName, group.audioType);
    }
    FSSipAccountQueue::Change signInChange = signIn(group, fresh, url, device, nullptr);
    {
        std::lock_guard<std::mutex> lock(m_conferenceLock);
        const int i = findGroup(group.id);
        if (i >= 0 && isCall) {
            FSConference &r = m_records[i];
            // A second call during an interruption must not save the
            // silenced level as the one to return to.
            if (!isInterruptedNow(r))
                r.savedVolume = r.volume;
            r.internalCaller = internalCaller;
            r.externalCaller = externalCaller;
            r.interrupted = true;
            r.volume = -10;
            r.volumeChanged = true;
            r.prayIndex = prayIndex;
            outcome = "restart group";
        } else if (i >= 0) {
            alreadyRunning = true;
            outcome = "start a starting group";
        } else {
            m_sipAccounts.post(std::move(signInChange), accountsOf(group), FSSipAccountQueue::Kind::SignIn);
            fresh.serial = ++m_lastSerial;
            m_records.append(fresh);
            m_running.add(group.id);
            notice = postStarted(fresh, fsGroupStartTypeText(type), from);
        }
        FSConference::sortByPriority(m_records);
    }
    // Written without the lock: other groups' starts and stops never wait
    // for the log.
    if (notice != 0)
        CONF_LOG("start group %s, cause startType%s, internal = %s, external = %s, prayType = %d, from = %s",
                 qUtf8Printable(group.conference), qUtf8Printable(startType), qUtf8Printable(internalCaller),
                 qUtf8Printable(externalCaller), prayIndex, qUtf8Printable(from));
    else
        CONF_LOG("%s %s, cause startType%s, internal = %s, external = %s, from = %s", outcome,
                 qUtf8Printable(group.conference), qUtf8Printable(startType), qUtf8Printable(internalCaller),
                 qUtf8Printable(externalCaller), qUtf8Printable(from));
    deliverNotices(notice);
    markStarted(group.conference, startType);
    return !alreadyRunning;
}

void FSGroupConferences::startTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    if (group.id <= 0 || !isConferenceNumber(group.conference)) {
        CONF_LOG("refuse app talk into group %d with conference \"%s\"", group.id, qUtf8Printable(group.conference));
        return;
    }
    quint64 notice = 0;
    {
        std::lock_guard<std::mutex> lock(m_conferenceLock);
        const int i = findGroup(group.id);
        if (i >= 0) {
            FSConference &r = m_records[i];
            if (!isInterruptedNow(r))
                r.savedVolume = r.volume;
            r.appLeg = group.inputSipNumber;
            r.interrupted = true;
            r.volume = -10;
            r.volumeChanged = true;
            postSipChange(
                [user = group.inputSipNumber, session](PASipManager *sip, const QString &ip, int port) {
                    sip->startTalk(ip, port, user, session);
                },
                accountsOf(group));
        } else {
            RDGroup talk = group;
            talk.source = QStringLiteral("stream");
            talk.streamUrl.clear();
            talk.mediaList.clear();
            talk.medium.clear();
            FSConference r = buildConference(talk, FSGroupStartApi, 0);
            r.appLeg = group.inputSipNumber;
            m_sipAccounts.post(signIn(talk, r, QString(), RDCoreDevice(), session), accountsOf(talk),
                               FSSipAccountQueue::Kind::SignIn);
            r.serial = ++m_lastSerial;
            m_records.append(r);
            m_running.add(group.id);
            notice = postStarted(r, fsGroupStartTypeText(FSGroupStartApi), QStringLiteral("API"));
        }
        FSConference::sortByPriority(m_records);
    }
    deliverNotices(notice);
    markStarted(group.conference, fsGroupStartTypeText(FSGroupStartApi));
}

// Talk and listen act on the accounts in the order of their sign-ins and
// sign-outs: behind the queue like them.
void FSGroupConferences::stopTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    postSipChange(
        [user = group.inputSipNumber, session](PASipManager *sip, const QString &ip, int port) {
            sip->stopTalk(ip, port, user, session);
        },
        accountsOf(group));
}

void FSGroupConferences::startListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    postSipChange(
        [user = group.outputSipNumber, session](PASipManager *sip, const QString &ip, int port) {
            sip->startListen(ip, port, user, session);
        },
        accountsOf(group));
}

void FSGroupConferences::stopListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    postSipChange(
        [user = group.outputSipNumber, session](PASipManager *sip, const QString &ip, int port) {
            sip->stopListen(ip, port, user, session);
        },
        accountsOf(group));
}

void FSGroupConferences::stopGroup(const RDGroup &group, const QString &stopType, const QString &from)
{
    CONF_LOG("stop group %s, stopType = %s, from = %s", qUtf8Printable(group.conference), qUtf8Printable(stopType),
             qUtf8Printable(from));
    quint64 notice = 0;
    // Stopping a group that does not run changes nothing: found without
    // the lock.
    if (m_running.contains(group.id) != FSRunningGroups::Answer::No) {
        std::lock_guard<std::mutex> lock(m_conferenceLock);
        const int i = findGroup(group.id);
        if (i >= 0) {
            const FSConference r = m_records.at(i);
            postSipChange(
                [input = group.inputSipNumber, output = group.outputSipNumber](PASipManager *sip, const QString &ip,
                                                                               int port) {
                    sip->unregisterAccount(ip, port, input);
                    sip->unregisterAccount(ip, port, output);
                },
                accountsOf(group), FSSipAccountQueue::Kind::SignOut);
            removeRecord(i);
            notice = postStopped(r, stopType, from);
        }
    }
    deliverNotices(notice);
    removeStatus(group.conference);
}

void FSGroupConferences::switchEnded()
{
    std::lock_guard<std::mutex> lock(m_conferenceLock);
    for (FSConference &r : m_records) {
        if (r.command == FSConference::CommandPlaying)
            r.command = FSConference::CommandSwitch;
    }
}

void FSGroupConferences::stopConference(const QString &conference, const QString &reason, quint64 serial)
{
    CONF_LOG("stop conference %s, reason = %s", qUtf8Printable(conference), qUtf8Printable(reason));
    quint64 notice = 0;
    bool startedAgain = false;
    {
        std::lock_guard<std::mutex> lock(m_conferenceLock);
        for (int i = 0; i < m_records.size(); ++i) {
            if (m_records.at(i).conference != conference)
                continue;
            // Stopped and started again while the stop waited in the queue:
            // what it was meant for has already ended.
            if (serial != 0 && m_records.at(i).serial != serial) {
                startedAgain = true;
                break;
            }
            const FSConference r = m_records.at(i);
            removeRecord(i);
            notice = postStopped(r, reason, QString());
            break;
        }
    }
    if (startedAgain) {
        CONF_LOG("conference %s started again since its stop was asked for; it goes on", qUtf8Printable(conference));
        return;
    }
    deliverNotices(notice);
    removeStatus(conference);
}

bool FSGroupConferences::changeGroupMedia(const RDGroup &group, int position)
{
    std::lock_guard<std::mutex> lock(m_conferenceLock);
    const int i = findGroup(group.id);
    if (i < 0)
        return false;
    m_records[i].mediaPosition = position;
    m_records[i].command = FSConference::CommandSwitch;
    return true;
}

bool FSGroupConferences::updateGroupVolume(const RDGroup &group)
{
    std::lock_guard<std::mutex> lock(m_conferenceLock);
    const int i = findGroup(group.id);
    if (i < 0)
        return false;
    m_records[i].volume = group.volume;
    m_records[i].volumeChanged = true;
    return true;
}

// ------------------------------------------------------------- notices

quint64 FSGroupConferences::postStarted(const FSConference &record, const QString &startType, const QString &from)
{
    const int groupId = record.groupId;
    const QString conference = record.conference;
    return m_notices.post([this, groupId, conference, startType, from] {
        m_env.groupStarted(groupId, conference, startType, from);
    });
}

quint64 FSGroupConferences::postStopped(const FSConference &record, const QString &reason, const QString &from)
{
    const int groupId = record.groupId;
    const QString conference = record.conference;
    return m_notices.post([this, groupId, conference, reason, from] {
        m_env.groupStopped(groupId, conference, reason, from);
    });
}

void FSGroupConferences::deliverNotices(quint64 notice)
{
    if (notice != 0)
        m_notices.deliverThrough(notice);
}

// ---------------------------------------------------------------- status

void FSGroupConferences::markStarted(const QString &conference, const QString &startType)
{
    std::lock_guard<std::mutex> lock(m_statusLock);
    ++m_groupStatusChanges;
    RDGroupStatus &s = m_groupStatus[conference];
    s.started = 1;
    s.startType = startType;
}

void FSGroupConferences::removeStatus(const QString &conference)
{
    std::lock_guard<std::mutex> lock(m_statusLock);
    ++m_groupStatusChanges;
    m_groupStatus.remove(conference);
}

void FSGroupConferences::updateDeviceStatus(const FSSwitchState &state)
{
    // Unreadable tables say nothing about the devices: keep what was known.
    if (!state.isValid())
        return;
    QMap<QString, QString> status = state.deviceStatus();
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_deviceStatus.swap(status);
}

void FSGroupConferences::updateGroupStatus(double now)
{
    // The status lock and the conference lock are never held together, so a
    // start or stop may change both between the copy below and the swap. A
    // start or stop records itself in the status map after its records
    // change; when one did so after this point, the copy may be older than
    // the map and this pass leaves the map alone (the next pass rebuilds it).
    quint64 changesBefore = 0;
    {
        std::lock_guard<std::mutex> lock(m_statusLock);
        changesBefore = m_groupStatusChanges;
    }
    const QVector<FSConference> records = conferences();
    QMap<QString, RDGroupStatus> status;
    for (const FSConference &r : records) {
        RDGroupStatus s;
        s.started = 1;
        s.playIndex = r.mediaPosition;
        // Nothing has played yet: no position (rather than the whole epoch).
        s.playPosition = r.itemStartTime > 0 ? now - r.itemStartTime : 0.0;
        s.startType = fsGroupStartTypeText(r.startType);
        s.prayType = r.prayIndex;
        status.insert(r.conference, s);
    }
    std::lock_guard<std::mutex> lock(m_statusLock);
    if (m_groupStatusChanges == changesBefore)
        m_groupStatus.swap(status);
}

int FSGroupConferences::supervise(const FSSwitchState &state, double now)
{
    std::lock_guard<std::mutex> console(m_consoleLock);
    runQueuedHangups();
    // A conference whose hang-up still settles is the hang-up's to end: its
    // zone may be started again within the settle time and keep its calls.
    const QSet<QString> settling = settlingHangups();

    QVector<FSConference> before;
    QStringList cleared;
    {
        std::lock_guard<std::mutex> lock(m_conferenceLock);
        before = m_records;
        cleared.swap(m_dialTimesToClear);
    }
    for (const QString &number : qAsConst(cleared))
        m_pass.clearDialTime(number);
    m_passSerials.clear();
    for (const FSConference &r : qAsConst(before))
        m_passSerials.insert(r.conference, r.serial);

    QVector<FSConference> after = before;
    const int sentBefore = m_commandsSent;
    m_pass.run(after, state, now, settling);
    m_passSerials.clear();
    mergePassResult(before, after);
    return m_commandsSent - sentBefore;
}

void FSGroupConferences::mergePassResult(const QVector<FSConference> &before, const QVector<FSConference> &after)
{
    // A group stopped meanwhile keeps nothing; one changed meanwhile by a
    // call, app talk, media switch or volume change keeps that change, and
    // the next pass acts on it.
    std::lock_guard<std::mutex> lock(m_conferenceLock);
    for (int k = 0; k < after.size(); ++k) {
        FSConference *live = nullptr;
        for (FSConference &r : m_records) {
            if (r.serial == after.at(k).serial) {
                live = &r;
                break;
            }
        }
        if (!live)
            continue;
        FSConference was = before.at(k);
        FSConference now = after.at(k);
        if (mediaFields(*live) == mediaFields(was))
            mediaFields(*live) = mediaFields(now);
        if (legFields(*live) == legFields(was))
            legFields(*live) = legFields(now);
    }
}

void FSGroupConferences::removeRecord(int index)
{
    const FSConference &r = m_records.at(index);
    for (const FSConferenceMember &m : r.members)
        m_dialTimesToClear.append(m.number);
    if (!r.rtpLeg.isEmpty())
        m_dialTimesToClear.append(r.rtpLeg);
    const QString conference = r.conference;
    m_running.remove(r.groupId);
    m_records.removeAt(index);
    queueHangup(conference);
}

bool FSGroupConferences::isHeld(const QString &conference)
{
    std::lock_guard<std::mutex> lock(m_conferenceLock);
    for (const FSConference &r : qAsConst(m_records)) {
        if (r.conference == conference)
            return true;
    }
    return false;
}

void FSGroupConferences::queueHangup(const QString &conference)
{
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        // A hang-up of this conference still waiting covers this stop too:
        // it runs later than now and looks again whether a group holds the
        // conference then. Each stop of a zone started and stopped in quick
        // turns would otherwise cost a console command.
        if (std::any_of(m_hangups.begin(), m_hangups.end(),
                        [&conference](const QueuedHangup &h) { return h.conference == conference; }))
            return;
        first = m_hangups.empty();
        m_hangups.push_back({conference, std::chrono::steady_clock::now()});
        if (!m_commandThread.joinable())
            m_commandThread = std::thread([this] { commandThread(); });
    }
    // Hang-ups already waiting keep the command thread awake: it comes to
    // this one when they are done.
    if (first)
        m_queueChanged.notify_all();
}

void FSGroupConferences::commandThread()
{
    std::unique_lock<std::mutex> lock(m_queueLock);
    for (;;) {
        m_queueChanged.wait(lock, [this] { return m_quit || !m_hangups.empty(); });
        if (m_hangups.empty())
            return;
        const auto due = m_hangups.front().posted + m_env.hangupSettle;
        if (!m_quit && std::chrono::steady_clock::now() < due) {
            m_queueChanged.wait_until(lock, due, [this] { return m_quit; });
            continue;
        }
        lock.unlock();
        {
            std::lock_guard<std::mutex> console(m_consoleLock);
            runQueuedHangups();
        }
        lock.lock();
    }
}

void FSGroupConferences::runQueuedHangups()
{
    for (;;) {
        QString conference;
        {
            std::lock_guard<std::mutex> lock(m_queueLock);
            if (m_hangups.empty() ||
                (!m_quit && std::chrono::steady_clock::now() < m_hangups.front().posted + m_env.hangupSettle))
                return;
            conference = m_hangups.front().conference;
            m_hangups.pop_front();
            ++m_hangupsRunning;
        }
        // Started again since it stopped: the members still in the
        // conference belong to the new run now.
        if (isHeld(conference))
            CONF_LOG("conference %s started again, its hang-up is dropped", qUtf8Printable(conference));
        else
            m_env.execute(QStringLiteral("conference ") + conference + QStringLiteral(" hup all"));
        {
            std::lock_guard<std::mutex> lock(m_queueLock);
            --m_hangupsRunning;
        }
        m_queueChanged.notify_all();
    }
}

QSet<QString> FSGroupConferences::settlingHangups()
{
    QSet<QString> settling;
    std::lock_guard<std::mutex> lock(m_queueLock);
    for (const QueuedHangup &h : m_hangups)
        settling.insert(h.conference);
    return settling;
}

bool FSGroupConferences::waitForCommands(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    {
        std::unique_lock<std::mutex> lock(m_queueLock);
        if (!m_queueChanged.wait_until(lock, deadline, [this] { return m_hangups.empty() && m_hangupsRunning == 0; }))
            return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return m_sipAccounts.waitIdle(static_cast<int>(std::max<long long>(0, left.count())));
}

QMap<QString, QString> FSGroupConferences::deviceStatus()
{
    std::lock_guard<std::mutex> lock(m_statusLock);
    return m_deviceStatus;
}

QMap<QString, RDGroupStatus> FSGroupConferences::groupStatus()
{
    std::lock_guard<std::mutex> lock(m_statusLock);
    return m_groupStatus;
}

QVector<FSConference> FSGroupConferences::conferences()
{
    std::lock_guard<std::mutex> lock(m_conferenceLock);
    return m_records;
}

// ------------------------------------------------------- pass host

QString FSGroupConferences::execute(const QString &command)
{
    // The pass acts on its copy of the records: a conference stopped since
    // (or stopped and started again) is left alone, and a conference it
    // found unheld is not hung up once a group holds it.
    const QString conference = conferenceOfCommand(command);
    if (!conference.isEmpty()) {
        const quint64 serial = m_passSerials.value(conference, 0);
        bool current = serial == 0;
        {
            std::lock_guard<std::mutex> lock(m_conferenceLock);
            for (const FSConference &r : qAsConst(m_records)) {
                if (r.conference == conference) {
                    current = r.serial == serial;
                    break;
                }
            }
        }
        if (!current)
            return QString();
    }
    ++m_commandsSent;
    return m_env.execute(command);
}

void FSGroupConferences::executeAll(const QStringList &commands)
{
    // Each command is a console client run: most of its time is the process
    // start, not the switch. A zone of many devices would otherwise be called
    // one run after another (about 240 runs for 20 zones of 10 devices, over
    // 4 s). The switch answers a dial at once and places the call itself, so
    // the dials go side by side, a few at a time.
    const int workers = std::min(int(commands.size()), kConcurrentCommands);
    if (workers <= 1) {
        for (const QString &command : commands)
            execute(command);
        return;
    }
    std::atomic<int> next{0};
    auto work = [&] {
        for (int i = next++; i < commands.size(); i = next++)
            execute(commands.at(i));
    };
    std::vector<std::thread> threads;
    threads.reserve(size_t(workers - 1));
    for (int i = 1; i < workers; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread &t : threads)
        t.join();
}

void FSGroupConferences::postStopConference(const QString &conference, const QString &reason)
{
    // The pass's copy names the run it judged; a run that starts after the
    // copy was taken must not end by this stop.
    m_env.postStopConference(conference, reason, m_passSerials.value(conference, 0));
}

void FSGroupConferences::notifyPlayChanged(int groupId, const QString &conference, int index, const QString &item)
{
    m_env.playChanged(groupId, conference, index, item);
}

void FSGroupConferences::setSipVolume(const QString &user, int level)
{
    postSipChange([user, level](PASipManager *sip, const QString &, int) { sip->setVolume(user, level); }, user);
}

bool FSGroupConferences::isAccountRegistered(const QString &user)
{
    PASipManager::Use sip;
    return sip && sip->isRegistered(m_env.internalIp(), m_env.internalPort(), user);
}

bool FSGroupConferences::isAccountTalking(const QString &user)
{
    PASipManager::Use sip;
    return sip && sip->isTalking(m_env.internalIp(), m_env.internalPort(), user);
}
