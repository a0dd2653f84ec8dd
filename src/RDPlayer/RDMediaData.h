#pragma once

// Base of the media pieces handed from the player to its views.
class RDMediaData
{
public:
    virtual ~RDMediaData() = default;
};
