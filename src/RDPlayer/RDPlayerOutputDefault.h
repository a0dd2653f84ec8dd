#pragma once

#include "RDPlayerOutput.h"

// The output stage the player uses: RDPlayerOutput with its own PCM player
// on the PC's default sound output.
class RDPlayerOutputDefault : public RDPlayerOutput
{
public:
    explicit RDPlayerOutputDefault(QObject *parent = nullptr);
    ~RDPlayerOutputDefault() override;

    int start() override;
    void stop() override;
    void setVolume(double volume) override;

private:
    RDPcmPlayer *m_player;
};
