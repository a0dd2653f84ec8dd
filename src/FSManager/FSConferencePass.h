#pragma once

#include "FSConference.h"
#include "FSConferenceHost.h"
#include "FSSwitchState.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

// The conference part of the switch manager's supervision pass, and the
// console operations it shares with group start and stop. It owns the
// last-dial times. Its owner makes every call from one thread at a time; the
// class itself takes no lock.
class FSConferencePass
{
public:
    explicit FSConferencePass(FSConferenceHost *host);

    // One pass over the records (which must be sorted by priority): hang up
    // stale conferences, dial and take over members, dial the RTP legs, watch
    // caller and app legs, drive the media lists and the volume. A conference
    // in `settling` has a hang-up of its own on the way and is left to it.
    void run(QVector<FSConference> &records, const FSSwitchState &state, double now,
             const QSet<QString> &settling = QSet<QString>());

    // Console operations.
    bool hangupConference(const QString &conference);
    // At most one dial per number (or leg) every 10 s. A dial is only
    // collected: the collected dials go to the console together (the host may
    // run them side by side) before any other console command and at the end
    // of a pass, so a zone's devices are not called one console run after
    // another, while every other command keeps its place after them.
    void dialMember(const QString &conference, const FSConferenceMember &member, double now);
    void dialRtpLeg(const QString &conference, const QString &leg, double now);
    // Sends the dials collected so far.
    void sendDials();
    void killChannel(const QString &uuid);
    void stopMedia(const QString &conference);
    bool playMedia(const QString &conference, const QString &item);
    void applyVolume(const FSConference &record);

    // Forget when the record's members and RTP leg were last dialled, so the
    // next pass dials them at once.
    void clearDialTimes(const FSConference &record);
    void clearDialTime(const QString &number) { m_lastDial.remove(number); }
    double lastDialTime(const QString &number) const { return m_lastDial.value(number, 0.0); }

    static const double kDialInterval;

private:
    // NotHere: the switch did not answer, or has no such conference (a new
    // switch whose devices are not back yet); neither says anything about
    // the item.
    enum class PlayResult { Playing, Refused, NotHere };
    PlayResult playItemCommand(const QString &conference, const QString &item);
    void hangupStaleConferences(const FSSwitchState &state);
    int checkMembers(FSConference &record, const QVector<FSConference> &records, const FSSwitchState &state,
                     double now);
    int checkRtpLeg(FSConference &record, const FSSwitchState &state, double now);
    void checkLegs(FSConference &record, const FSSwitchState &state);
    void legMissing(FSConference &record, QString &leg, int limit, const QString &reason);
    void driveMedia(FSConference &record, int joined, double now);
    void playItem(FSConference &record, double now);
    void postMediaEnd(FSConference &record);
    bool dialAllowed(const QString &key, double now);
    // Sends the collected dials, then `command`; the answer.
    QString execute(const QString &command);

    FSConferenceHost *m_host;
    QMap<QString, double> m_lastDial;
    QStringList m_dials; // collected, not yet sent
    QHash<QString, int> m_recordByConference; // lower-case conference -> index, rebuilt per pass
    QSet<QString> m_heldConferences;          // exact conference texts, rebuilt per pass, with the settling ones
    bool m_postedThisPass = false;
    bool m_lastStateValid = true;
};
