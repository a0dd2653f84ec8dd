#pragma once

#include "RDGroup.h"

#include <QString>
#include <QVector>

#include <memory>

class KelClient;

// What the JSON command API asks of the rest of the program: reading zones
// and running the zone operations. The central object provides it; tests and
// the fuzzer plug in a recording fake, so the request handling can be driven
// without a switch.
class VelmarAPITarget
{
public:
    virtual ~VelmarAPITarget() = default;

    // Every zone with its devices and run state, in the home screen order.
    virtual QVector<RDGroup> getGroups() = 0;
    // The zone with that id, or an invalid record (id 0) when none is stored.
    virtual RDGroup getGroupById(int id) = 0;

    virtual void startApiGroup(const RDGroup &group) = 0;
    virtual void stopGroup(const RDGroup &group, const QString &stopType) = 0;
    virtual void startTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session) = 0;
    virtual void stopTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session) = 0;
    virtual void startListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session) = 0;
    virtual void stopListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session) = 0;

    // A text that identifies this installation.
    virtual QString installationUid() = 0;
};
