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
    bool paging = false;    // the conference's mix is paged while this leg lasts
};
