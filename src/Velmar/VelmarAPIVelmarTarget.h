#pragma once

#include "VelmarAPITarget.h"

class Velmar;

// The JSON command API's view of the central object: forwards every call.
class VelmarAPIVelmarTarget : public VelmarAPITarget
{
public:
    explicit VelmarAPIVelmarTarget(Velmar *velmar);

    QVector<RDGroup> getGroups() override;
    RDGroup getGroupById(int id) override;
    void startApiGroup(const RDGroup &group) override;
    void stopGroup(const RDGroup &group, const QString &stopType) override;
    void startTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session) override;
    void stopTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session) override;
    void startListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session) override;
    void stopListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session) override;
    QString installationUid() override;

private:
    Velmar *m_velmar;
};
