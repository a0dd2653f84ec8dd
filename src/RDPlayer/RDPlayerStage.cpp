#include "RDPlayerStage.h"

RDPlayerStage::RDPlayerStage(QObject *parent) : QObject(parent) {}

RDPlayerStage::~RDPlayerStage() = default;

void RDPlayerStage::setOwner(RDBasePlayer *owner, StateCallback callback)
{
    m_owner = owner;
    m_callback = callback;
}

void RDPlayerStage::reportState(int state)
{
    if (m_callback)
        m_callback(m_owner, state);
}
