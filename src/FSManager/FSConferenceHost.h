#pragma once

#include <QString>
#include <QStringList>

// What the conference supervision needs from its surroundings: the switch
// console, the manager's message queue and observers, and the program's own
// SIP accounts. The switch manager implements it; tests record the calls.
class FSConferenceHost
{
public:
    virtual ~FSConferenceHost() = default;

    // Runs one console command and returns the switch's answer ("" on failure).
    virtual QString execute(const QString &command) = 0;
    // Runs console commands whose answers nobody reads (dials); returns once
    // every one has been answered. The host may run them side by side.
    virtual void executeAll(const QStringList &commands)
    {
        for (const QString &command : commands)
            execute(command);
    }
    // Asks for the conference to be stopped later, off the conference lock.
    virtual void postStopConference(const QString &conference, const QString &reason) = 0;
    // An item of a group's media list has started playing.
    virtual void notifyPlayChanged(int groupId, const QString &conference, int index, const QString &item) = 0;
    // The program's SIP layer: level of the calls of account `user`.
    virtual void setSipVolume(const QString &user, int level) = 0;
    // The program's SIP layer: account `user` is signed in on the switch.
    virtual bool isAccountRegistered(const QString &user) = 0;
    // The program's SIP layer: some call of account `user` carries app talk.
    virtual bool isAccountTalking(const QString &user) = 0;
};
