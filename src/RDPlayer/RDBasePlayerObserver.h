#pragma once

// Receives a player's events (see RDPlayerObserver for their meaning).
class RDBasePlayerObserver
{
public:
    virtual ~RDBasePlayerObserver() = default;
    virtual void onStageEvent(int event, double current, double total) {}
};
