#pragma once

#include <QString>
#include <QStringList>

// One conference: its member legs and the file it plays.
struct Conference
{
    QString name;
    QStringList legs;           // uuids, in join order
    QString playingFile;
    qint64 playStartedMs = 0;   // steady clock
    qint64 playDurationMs = 0;  // < 0: plays until stopped
    int fileVolume = 0;         // -13 .. 13
    // Set by a test hook: overrides the file timing of play_status.
    enum class Forced { No, Playing, Ended } forced = Forced::No;
};
