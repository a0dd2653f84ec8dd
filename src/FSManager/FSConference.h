#pragma once

#include "FSConferenceMember.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The switch manager's record of one running group: which conference it
// owns, who must be dialled into it, what it plays and how far it got.
class FSConference
{
public:
    // Commands of the media state machine.
    enum Command {
        CommandNone = 0,   // nothing for the switch to play
        CommandStart = 1,  // play the first item once a member has joined
        CommandSwitch = 3, // jump to mediaPosition
        CommandPlaying = 4,
    };

    int groupId = 0;
    int startType = 0;
    QString conference;
    QVector<FSConferenceMember> members;
    QStringList media;
    QString rtpLeg;
    QString internalCaller;
    QString externalCaller;
    bool appLegRegistered = false;
    QString appLeg;
    int prayIndex = 9;
    int loopTimesLeft = 0;     // -1 for ever; 0 and 1 end after this pass through the list
    double playStartTime = 0;  // seconds since the epoch
    double loopDuration = 0;   // seconds, 0 for no limit
    double itemStartTime = 0;  // seconds since the epoch
    int mediaPosition = 0;
    int volume = 0;            // -10..10
    bool volumeChanged = false;
    int command = CommandNone;
    int missCount = 0;
    bool interrupted = false;
    int savedVolume = 0;
    int priority = 0;
    // Items in a row that the switch refused to play (or that could not be
    // sent); once a whole list's worth failed the list counts as run out.
    int failedPlays = 0;
    // Tells this run of the group from an earlier or later one of the same
    // conference (0 for a record not held by the manager).
    quint64 serial = 0;

    // The item at `index`, or "" (with a log line) outside the list.
    QString getMedia(int index) const;
    bool hasCaller() const { return !internalCaller.isEmpty() || !externalCaller.isEmpty(); }

    // Volume -10..10 to the SIP layer's level 0..200.
    static int sipLevel(int volume);
    // Volume -10..10 to the switch's file-playback level -13..13
    // ((v + 10) / 20 * 26 - 13, truncated toward zero).
    static int fileLevel(int volume);

    // Highest priority first; among equal priorities the greater conference
    // number text first.
    static void sortByPriority(QVector<FSConference> &records);
};
