#pragma once

class RDYUV420P;

// Where a player's video output hands its pictures. The widget that shows
// them lives in the screens' library; the player only knows this interface.
class RDVideoSink
{
public:
    virtual ~RDVideoSink() = default;
    // Takes ownership of `picture`. Called on the player's video thread.
    virtual void updateYUV420Async(RDYUV420P *picture) = 0;
};
