#pragma once

#include <QString>

class RDAudioPlayer;

// What a screen learns from a test play. Called on the player's own thread:
// re-post to the GUI thread.
class RDAudioPlayerObserver
{
public:
    virtual ~RDAudioPlayerObserver() = default;
    // The input opened and has an audio stream.
    virtual void onOpenSuccess(RDAudioPlayer *player, const QString &url) {}
    // Opening failed, or the input has no audio stream.
    virtual void onOpenFailure(RDAudioPlayer *player) {}
    // The input ended, or playing was stopped, after a successful open.
    virtual void onPlayEnded(RDAudioPlayer *player) {}
};
