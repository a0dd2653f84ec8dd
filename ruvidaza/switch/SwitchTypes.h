#pragma once

#include <QString>

// One call leg, mirrored into the "channels" table.
struct Leg
{
    QString uuid;
    QString direction;      // "outbound" for dialled legs, "inbound" for callers
    QString callstate;      // RINGING, ACTIVE
    QString accountcode;
    QString dest;
    QString calleeNum;
    QString applicationData;
    QString cidName;
    QString ipAddr;
    QString initialCidNum;
    QString initialDest;
    QString profile;
    QString conference;     // conference key the leg belongs to, empty when none
    QString partner;        // the other leg of a bridged call; both end together
    qint64 createdEpoch = 0;
};

// How a simulated endpoint reacts when the switch dials it.
enum class AnswerMode { Auto, Ring, Reject, None };

// One registration binding, mirrored into "sip_registrations".
struct Registration
{
    QString sipUser;
    QString sipHost;
    QString contact;
    QString status;
    QString networkIp;
    QString networkPort;
    QString callId;
    qint64 expires = 0;     // epoch seconds
    AnswerMode answer = AnswerMode::Auto;
    int answerMs = 100;
};
