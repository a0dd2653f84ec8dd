#pragma once

#include "PlatformAudioBackend.h"

// The system's sound server, PulseAudio. Capture endpoints are its sources
// that are not monitors, render endpoints its sinks; the id is the server's
// name of the endpoint, the readable name its description. A loopback
// capture records the sink's monitor.
class PlatformPulseAudioBackend : public PlatformAudioBackend
{
public:
    bool listEndpoints(int type, std::vector<PlatformAudioEndpoint> *out) override;
    std::unique_ptr<PlatformAudioStream> openCapture(const std::string &id, bool loopback, int bufferMs,
                                                     Error *error) override;
    std::unique_ptr<PlatformAudioStream> openPlayback(int bufferMs, int periodMs, Error *error) override;
};
