#include "VelmarAPIVelmarTarget.h"

#include "Velmar.h"

VelmarAPIVelmarTarget::VelmarAPIVelmarTarget(Velmar *velmar)
    : m_velmar(velmar)
{
}

QVector<RDGroup> VelmarAPIVelmarTarget::getGroups()
{
    return m_velmar->getGroups();
}

RDGroup VelmarAPIVelmarTarget::getGroupById(int id)
{
    return m_velmar->getGroupById(id);
}

void VelmarAPIVelmarTarget::startApiGroup(const RDGroup &group)
{
    m_velmar->startApiGroup(group);
}

void VelmarAPIVelmarTarget::stopGroup(const RDGroup &group, const QString &stopType)
{
    m_velmar->stopGroup(group, stopType);
}

void VelmarAPIVelmarTarget::startTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    m_velmar->startTalkGroup(group, session);
}

void VelmarAPIVelmarTarget::stopTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    m_velmar->stopTalkGroup(group, session);
}

void VelmarAPIVelmarTarget::startListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    m_velmar->startListenGroup(group, session);
}

void VelmarAPIVelmarTarget::stopListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    m_velmar->stopListenGroup(group, session);
}

QString VelmarAPIVelmarTarget::installationUid()
{
    return Velmar::installationUid();
}
