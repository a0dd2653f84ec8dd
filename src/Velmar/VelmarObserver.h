#pragma once

#include "RDDevice.h"
#include "RDGroup.h"

#include <QVector>

class Velmar;

// Told by the central object of every change the screens show. Calls come on
// worker threads (the status watcher, the switch manager's threads, request
// threads), with the central object's observer lock held: an implementation
// must not add or remove observers from inside a call and must not block on
// the GUI thread; it re-posts to the GUI thread instead. Every operation does
// nothing by default.
class VelmarObserver
{
public:
    virtual ~VelmarObserver() = default;
    // The devices whose status is "online" or "calling", sorted by number.
    virtual void onNotifyDeviceStatusChanged(Velmar *velmar, QVector<RDDevice> devices)
    {
        Q_UNUSED(velmar) Q_UNUSED(devices)
    }
    // The group marked started, with its start type.
    virtual void onNotifyGroupStarted(Velmar *velmar, RDGroup group) { Q_UNUSED(velmar) Q_UNUSED(group) }
    // The group marked not started.
    virtual void onNotifyGroupStopped(Velmar *velmar, RDGroup group) { Q_UNUSED(velmar) Q_UNUSED(group) }
    // The group with its new playing index.
    virtual void onNotifyGroupPlayChanged(Velmar *velmar, RDGroup group) { Q_UNUSED(velmar) Q_UNUSED(group) }
    // The whole database was replaced by an import.
    virtual void onNotifyDataChanged(Velmar *velmar) { Q_UNUSED(velmar) }
};
