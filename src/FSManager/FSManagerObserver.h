#pragma once

#include <QString>

// Told by the switch manager when the switch has answered after a start and
// when groups start, stop or change what they play. Every operation does
// nothing by default. Calls come in the order of the changes, on a thread
// that made one (it delivers the notices queued before its own too), always
// with the manager's observer lock held and never with its conference lock:
// an observer must not add or remove observers from inside a call.
class FSManagerObserver
{
public:
    virtual ~FSManagerObserver() = default;
    // The switch answered after a start or a restart of the manager.
    virtual void onSwitchRestarted() {}
    virtual void onGroupStarted(int groupId, const QString &conference, const QString &startType,
                                const QString &from)
    {
        Q_UNUSED(groupId) Q_UNUSED(conference) Q_UNUSED(startType) Q_UNUSED(from)
    }
    virtual void onGroupStopped(int groupId, const QString &conference, const QString &reason,
                                const QString &from)
    {
        Q_UNUSED(groupId) Q_UNUSED(conference) Q_UNUSED(reason) Q_UNUSED(from)
    }
    // Kept in its place for observers built against the full interface; the
    // manager never calls it.
    virtual void onReserved() {}
    virtual void onGroupPlayChanged(int groupId, const QString &conference, int playIndex, const QString &media)
    {
        Q_UNUSED(groupId) Q_UNUSED(conference) Q_UNUSED(playIndex) Q_UNUSED(media)
    }
};
