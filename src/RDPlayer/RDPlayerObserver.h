#pragma once

// What a screen learns from its player. Statuses: 1 the source cannot be
// opened or read; 2 the first picture is shown; 3 a finite source has played
// out; 4 the player was stopped; 5 a later picture is shown, with the playing
// time and the total (-1.0 for a live source). Called on the player's
// threads: re-post to the GUI thread, never wait for it.
class RDPlayerObserver
{
public:
    virtual ~RDPlayerObserver() = default;
    virtual void onPlayerStatusChanged(int status, double current, double total) = 0;
};
