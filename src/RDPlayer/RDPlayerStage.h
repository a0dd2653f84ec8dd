#pragma once

#include <QObject>

class RDBasePlayer;

// What every stage of a player has in common: the player that owns it and
// the callback through which the stage reports its states to that player.
class RDPlayerStage : public QObject
{
public:
    using StateCallback = void (*)(RDBasePlayer *owner, int state);

    explicit RDPlayerStage(QObject *parent = nullptr);
    ~RDPlayerStage() override;

    void setOwner(RDBasePlayer *owner, StateCallback callback);
    void reportState(int state);

private:
    RDBasePlayer *m_owner = nullptr;
    StateCallback m_callback = nullptr;
};
