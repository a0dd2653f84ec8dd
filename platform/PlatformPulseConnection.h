#pragma once

#include <atomic>

struct pa_context;
struct pa_mainloop;

// A private main loop and context connected to the PulseAudio server,
// driven by the thread that owns it. wakeup() may be called from any
// thread and ends a wait in progress (or the next one).
class PlatformPulseConnection
{
public:
    PlatformPulseConnection();
    ~PlatformPulseConnection();
    PlatformPulseConnection(const PlatformPulseConnection &) = delete;
    PlatformPulseConnection &operator=(const PlatformPulseConnection &) = delete;

    // Connects without starting a server; false when none answers ready
    // within `timeoutMs`.
    bool connect(int timeoutMs);
    // Dispatches what is due, waiting up to `timeoutMs` (below 0: until an
    // event or wakeup()). False when the loop or the connection failed.
    bool iterate(int timeoutMs);
    void wakeup();
    bool isConnected() const;

    pa_context *context() const { return m_context; }
    pa_mainloop *mainloop() const { return m_loop; }

private:
    pa_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
};
