#pragma once

#include <QString>

// The run state of a zone, kept by the switch control per running conference.
struct RDGroupStatus
{
    int started = 0;                  // 1 while the zone runs
    int playIndex = -1;               // media list position that plays; -1 when none
    double playPosition = 0.0;        // seconds into that item at playUpdateTime
    double playUpdateTime = 0.0;      // seconds since the epoch
    QString startType = QStringLiteral("none");
    int prayType = 0;                 // prayer slot 0..8; 9 means no prayer
};
