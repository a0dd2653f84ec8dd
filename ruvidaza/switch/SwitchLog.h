#pragma once

#include <QString>

// The switch's own log ("log/switch.log") and console journal
// ("log/console.log"). Nothing goes to stdout: the program forwards the
// switch's output, and console answers must never mix with log text.
class SwitchLog
{
public:
    static void install(const QString &logFolder);
    static void journal(const QString &command, const QString &answer);
};
