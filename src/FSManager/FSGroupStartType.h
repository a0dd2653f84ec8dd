#pragma once

#include <QString>

// Why a group runs. The number is what a conference record keeps; callers
// and observers use the text.
enum FSGroupStartType {
    FSGroupStartNone = 0,
    FSGroupStartUser = 1,
    FSGroupStartCallConference = 2,
    FSGroupStartSipTrunk = 3,
    FSGroupStartSchedule = 4,
    FSGroupStartHttp = 5,
    FSGroupStartPray = 6,
    FSGroupStartApi = 7,
};

// "user", "call conference", ... compared ignoring case; anything else gives 0.
int fsGroupStartTypeFromText(const QString &text);
// 1..7 back to their texts; anything else "none".
QString fsGroupStartTypeText(int type);
