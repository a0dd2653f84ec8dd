#pragma once

#include "PlatformAudioFormat.h"

// An open capture or playback stream of a sound endpoint. read() and
// write() block at the endpoint's pace; interrupt(), callable from any
// thread, ends a call in progress and every later one at once.
class PlatformAudioStream
{
public:
    virtual ~PlatformAudioStream() = default;

    virtual PlatformAudioFormat format() const = 0;
    // The endpoint buffer the stream was opened with, in sample frames.
    virtual int bufferFrames() const = 0;
    // Captured bytes, at most `maxBytes`, whole sample frames: blocks until
    // some are there. 0 after interrupt(), -1 when the endpoint is gone or
    // failed.
    virtual int read(void *data, int maxBytes) = 0;
    // Plays all `bytes`, blocking while the endpoint has no room. `bytes`
    // when done, 0 after interrupt(), -1 when the endpoint is gone or failed.
    virtual int write(const void *data, int bytes) = 0;
    virtual void interrupt() = 0;
};
