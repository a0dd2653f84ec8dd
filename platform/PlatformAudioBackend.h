#pragma once

#include "PlatformAudioEndpoint.h"
#include "PlatformAudioStream.h"

#include <memory>
#include <string>
#include <vector>

// The sound server of the PC: lists endpoints and opens streams on them.
// One backend serves the process; tests put an in-process one in its place.
class PlatformAudioBackend
{
public:
    enum class Error {
        None,
        Unavailable, // no sound server to talk to
        NoDevice,    // no endpoint with that id
        Refused,     // the endpoint would not open the stream
    };

    virtual ~PlatformAudioBackend() = default;

    // Endpoints of one direction (0 capture, 1 render) in the server's
    // order; false when the server cannot be asked.
    virtual bool listEndpoints(int type, std::vector<PlatformAudioEndpoint> *out) = 0;
    // Captures from endpoint `id`; with `loopback`, `id` names a render
    // endpoint and the stream carries what it plays. `bufferMs` is the
    // endpoint buffer asked for.
    virtual std::unique_ptr<PlatformAudioStream> openCapture(const std::string &id, bool loopback, int bufferMs,
                                                             Error *error) = 0;
    // Plays on the default render endpoint with a buffer of `bufferMs`,
    // topped up `periodMs` at a time.
    virtual std::unique_ptr<PlatformAudioStream> openPlayback(int bufferMs, int periodMs, Error *error) = 0;

    // The backend in use: the one set for testing, else the system's.
    static PlatformAudioBackend *instance();
    // Puts `backend` (not owned; null restores the system's) in place for
    // streams opened from now on.
    static void setInstanceForTesting(PlatformAudioBackend *backend);
};
