#include "FSConferencePass.h"

#include "RDLog.h"

const double FSConferencePass::kDialInterval = 10.0;

namespace {
bool isOk(const QString &answer)
{
    return answer.startsWith(QLatin1String("+OK"));
}

const QString kMedia = QStringLiteral("media");
} // namespace

FSConferencePass::FSConferencePass(FSConferenceHost *host) : m_host(host) {}

bool FSConferencePass::hangupConference(const QString &conference)
{
    return isOk(execute(QStringLiteral("conference ") + conference + QStringLiteral(" hup all")));
}

bool FSConferencePass::dialAllowed(const QString &key, double now)
{
    if (now - m_lastDial.value(key, 0.0) < kDialInterval)
        return false;
    m_lastDial.insert(key, now);
    return true;
}

QString FSConferencePass::execute(const QString &command)
{
    sendDials();
    return m_host->execute(command);
}

void FSConferencePass::sendDials()
{
    if (m_dials.isEmpty())
        return;
    QStringList dials;
    dials.swap(m_dials);
    m_host->executeAll(dials);
}

void FSConferencePass::dialMember(const QString &conference, const FSConferenceMember &member, double now)
{
    if (!dialAllowed(member.number, now))
        return;
    const QString flags = member.speaks ? QStringLiteral("@cdquality++flags{hear|speak|endconf} bgdial user/")
                                        : QStringLiteral("@cdquality++flags{mute|endconf} bgdial user/");
    m_dials << QStringLiteral("conference ") + conference + flags + member.number + QLatin1Char(' ') + conference
                   + QLatin1Char(' ') + conference;
}

void FSConferencePass::dialRtpLeg(const QString &conference, const QString &leg, double now)
{
    if (!dialAllowed(leg, now))
        return;
    m_dials << QStringLiteral("conference ") + conference
                   + QStringLiteral("@cdquality++flags{mute|endconf} bgdial sofia/gateway/ingw") + leg
                   + QLatin1Char('/') + leg + QLatin1Char(' ') + conference + QLatin1Char(' ') + conference;
}

void FSConferencePass::killChannel(const QString &uuid)
{
    execute(QStringLiteral("uuid_kill ") + uuid);
}

void FSConferencePass::stopMedia(const QString &conference)
{
    execute(QStringLiteral("conference %1 stop").arg(conference));
}

bool FSConferencePass::playMedia(const QString &conference, const QString &item)
{
    return playItemCommand(conference, item) == PlayResult::Playing;
}

FSConferencePass::PlayResult FSConferencePass::playItemCommand(const QString &conference, const QString &item)
{
    // The console takes the path between the first and the last quote, so an
    // apostrophe inside a file name needs no escaping. A line break or NUL
    // cannot travel in one console command at all.
    if (item.contains(QLatin1Char('\r')) || item.contains(QLatin1Char('\n')) || item.contains(QChar(0))) {
        RDLogDetail(__FILE__, __func__, __LINE__, 5, "skip media item with a line break or NUL, conference %s",
                    qUtf8Printable(conference));
        return PlayResult::Refused;
    }
    const QString answer = execute(QStringLiteral("conference %1 play '%2'").arg(conference, item));
    if (answer.isEmpty() || answer.startsWith(QLatin1String("-ERR Conference ") + conference + QLatin1String(" not found")))
        return PlayResult::NotHere;
    return isOk(answer) ? PlayResult::Playing : PlayResult::Refused;
}

void FSConferencePass::applyVolume(const FSConference &record)
{
    execute(QStringLiteral("conference ") + record.conference + QStringLiteral(" file-vol ")
                    + QString::number(FSConference::fileLevel(record.volume)));
    const int level = FSConference::sipLevel(record.volume);
    for (const FSConferenceMember &m : record.members) {
        if (m.speaks)
            m_host->setSipVolume(m.number, level);
    }
}

void FSConferencePass::clearDialTimes(const FSConference &record)
{
    for (const FSConferenceMember &m : record.members)
        m_lastDial.remove(m.number);
    if (!record.rtpLeg.isEmpty())
        m_lastDial.remove(record.rtpLeg);
}

void FSConferencePass::run(QVector<FSConference> &records, const FSSwitchState &state, double now,
                           const QSet<QString> &settling)
{
    // A failed read tells nothing about the switch: acting on it would hang up
    // nothing but dial every member a second time and count every caller as
    // gone. Wait for the next good read.
    if (!state.isValid()) {
        if (m_lastStateValid)
            RDLogDetail(__FILE__, __func__, __LINE__, 5, "switch state unreadable, conferences wait for the next read");
        m_lastStateValid = false;
        return;
    }
    m_lastStateValid = true;

    m_recordByConference.clear();
    m_heldConferences = settling;
    for (int i = 0; i < records.size(); ++i) {
        m_recordByConference.insert(records.at(i).conference.toLower(), i);
        m_heldConferences.insert(records.at(i).conference);
    }

    hangupStaleConferences(state);

    for (FSConference &record : records) {
        m_postedThisPass = false;
        int joined = checkMembers(record, records, state, now);
        joined += checkRtpLeg(record, state, now);
        checkLegs(record, state);
        driveMedia(record, joined, now);
    }
    sendDials();
}

void FSConferencePass::hangupStaleConferences(const FSSwitchState &state)
{
    for (const FSChannel &c : state.channels()) {
        const QString conference = FSSwitchState::conferenceOf(c);
        if (conference.isEmpty())
            continue;
        bool numeric = false;
        const int n = conference.toInt(&numeric);
        if (!numeric || n < 3000 || n > 3999)
            continue;
        if (!m_heldConferences.contains(conference))
            hangupConference(conference);
    }
}

int FSConferencePass::checkMembers(FSConference &record, const QVector<FSConference> &records,
                                   const FSSwitchState &state, double now)
{
    int joined = 0;
    for (const FSConferenceMember &member : record.members) {
        if (!state.isRegistered(member.number))
            continue;
        const FSChannel *c = state.channelOf(member.number);
        if (!c) {
            dialMember(record.conference, member, now);
        } else if (FSSwitchState::isActive(*c)) {
            const QString there = FSSwitchState::conferenceOf(*c);
            if (there.compare(record.conference, Qt::CaseInsensitive) == 0) {
                ++joined;
                continue;
            }
            const auto it = m_recordByConference.constFind(there.toLower());
            if (it != m_recordByConference.constEnd() && record.priority > records.at(it.value()).priority) {
                // Take the device: end its call there, dial it here next pass.
                killChannel(c->uuid);
                m_lastDial.remove(member.number);
            }
        } else if (!FSSwitchState::isRinging(*c)) {
            dialMember(record.conference, member, now);
        }
    }
    return joined;
}

int FSConferencePass::checkRtpLeg(FSConference &record, const FSSwitchState &state, double now)
{
    if (record.rtpLeg.isEmpty() || !state.isRegistered(record.rtpLeg))
        return 0;
    const FSChannel *c = state.channelOf(record.rtpLeg);
    if (c && FSSwitchState::isActive(*c))
        return c->application_data.startsWith(record.conference) ? 1 : 0;
    if (c && FSSwitchState::isRinging(*c))
        return 0;
    dialRtpLeg(record.conference, record.rtpLeg, now);
    return 0;
}

void FSConferencePass::checkLegs(FSConference &record, const FSSwitchState &state)
{
    if (!record.internalCaller.isEmpty()) {
        const FSChannel *c = state.internalCallerLeg(record.internalCaller, record.conference);
        if (c && FSSwitchState::isActive(*c))
            record.missCount = 0;
        else
            legMissing(record, record.internalCaller, 2, QStringLiteral("internal"));
    }
    if (!record.externalCaller.isEmpty()) {
        const FSChannel *c = state.externalCallerLeg(record.externalCaller, record.conference);
        if (c && FSSwitchState::isActive(*c))
            record.missCount = 0;
        else
            legMissing(record, record.externalCaller, 2, QStringLiteral("external"));
    }
    if (!record.appLeg.isEmpty()) {
        if (!record.appLegRegistered) {
            // The app has about 20 s to sign in.
            record.appLegRegistered = m_host->isAccountRegistered(record.appLeg);
            if (record.appLegRegistered)
                record.missCount = 0;
            else
                legMissing(record, record.appLeg, 40, QStringLiteral("api"));
        } else if (m_host->isAccountTalking(record.appLeg)) {
            record.missCount = 0;
        } else {
            // ... and ends about 3 s after it stops talking.
            legMissing(record, record.appLeg, 6, QStringLiteral("api"));
        }
    }
}

void FSConferencePass::legMissing(FSConference &record, QString &leg, int limit, const QString &reason)
{
    if (++record.missCount < limit)
        return;
    if (record.interrupted) {
        // The call came into a group that already ran: it goes on as before.
        leg.clear();
        record.volume = record.savedVolume;
        record.volumeChanged = true;
    } else if (!m_postedThisPass) {
        m_postedThisPass = true;
        m_host->postStopConference(record.conference, reason);
    }
}

void FSConferencePass::postMediaEnd(FSConference &record)
{
    // With a caller on the group it stays up: the caller is its audio now.
    if (record.hasCaller() || m_postedThisPass)
        return;
    m_postedThisPass = true;
    m_host->postStopConference(record.conference, kMedia);
}

void FSConferencePass::playItem(FSConference &record, double now)
{
    const QString item = record.getMedia(record.mediaPosition);
    switch (playItemCommand(record.conference, item)) {
    case PlayResult::Playing:
        record.failedPlays = 0;
        break;
    case PlayResult::Refused:
        ++record.failedPlays;
        break;
    case PlayResult::NotHere:
        // The switch did not answer at all (restarting), or it is a new one
        // whose conference is not up yet: that says nothing about the file,
        // and nothing plays. Play it again once the new switch's conference
        // holds the devices, rather than taking that switch's "not playing"
        // for the item's end.
        if (record.command == FSConference::CommandPlaying)
            record.command = FSConference::CommandSwitch;
        break;
    }
    applyVolume(record);
    record.volumeChanged = false;
    record.itemStartTime = now;
    m_host->notifyPlayChanged(record.groupId, record.conference, record.mediaPosition, item);
    if (record.failedPlays >= record.media.size()) {
        // A whole list's worth of items in a row would not play (missing
        // files, names the console cannot carry): looping on would retry them
        // every pass for ever. Treat the list as run out.
        RDLogDetail(__FILE__, __func__, __LINE__, 5, "no item of the media list of conference %s could be played",
                    qUtf8Printable(record.conference));
        record.loopTimesLeft = 0;
        record.mediaPosition = record.media.size();
        postMediaEnd(record);
    }
}

void FSConferencePass::driveMedia(FSConference &record, int joined, double now)
{
    switch (record.command) {
    case FSConference::CommandStart:
    case FSConference::CommandSwitch: {
        if (joined == 0)
            return;
        if (record.media.isEmpty()) {
            if (record.command == FSConference::CommandStart)
                postMediaEnd(record);
            return;
        }
        stopMedia(record.conference);
        if (record.mediaPosition < 0 || record.mediaPosition >= record.media.size())
            record.mediaPosition = 0;
        if (record.command == FSConference::CommandStart)
            record.playStartTime = now;
        record.command = FSConference::CommandPlaying;
        record.failedPlays = 0;
        playItem(record, now);
        return;
    }
    case FSConference::CommandPlaying: {
        if (record.loopDuration > 0 && record.playStartTime + record.loopDuration <= now)
            postMediaEnd(record);
        if (joined == 0 || record.media.isEmpty())
            return;
        if (record.mediaPosition < 0 || record.mediaPosition >= record.media.size()) {
            // Run out earlier and kept up by a caller: nothing plays, nothing to ask.
            postMediaEnd(record);
            return;
        }
        const QString status =
            execute(QStringLiteral("conference ") + record.conference + QStringLiteral(" play_status"));
        // No answer at all means no switch to ask (it is restarting), not an
        // ended item: skipping on would run through the list while nothing
        // can play. Ask again next pass.
        if (status.isEmpty())
            return;
        if (isOk(status)) {
            if (record.volumeChanged) {
                applyVolume(record);
                record.volumeChanged = false;
            }
            return;
        }
        ++record.mediaPosition;
        if (record.mediaPosition >= record.media.size()) {
            if (record.loopTimesLeft < 0) {
                record.mediaPosition = 0;
            } else if (record.loopTimesLeft > 1) {
                --record.loopTimesLeft;
                record.mediaPosition = 0;
            }
        }
        if (record.mediaPosition >= record.media.size()) {
            postMediaEnd(record);
            return;
        }
        playItem(record, now);
        return;
    }
    default:
        if (record.volumeChanged) {
            applyVolume(record);
            record.volumeChanged = false;
        }
        return;
    }
}
