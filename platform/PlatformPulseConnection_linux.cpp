#include "PlatformPulseConnection.h"

#include <chrono>
#include <pulse/context.h>
#include <pulse/mainloop.h>

PlatformPulseConnection::PlatformPulseConnection()
{
    m_loop = pa_mainloop_new();
    if (m_loop)
        m_context = pa_context_new(pa_mainloop_get_api(m_loop), "pa-controller");
}

PlatformPulseConnection::~PlatformPulseConnection()
{
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_loop)
        pa_mainloop_free(m_loop);
}

bool PlatformPulseConnection::connect(int timeoutMs)
{
    if (!m_context || pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(m_context);
        if (state == PA_CONTEXT_READY)
            return true;
        if (!PA_CONTEXT_IS_GOOD(state))
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !iterate(int(left)))
            return false;
    }
}

bool PlatformPulseConnection::iterate(int timeoutMs)
{
    if (!m_loop)
        return false;
    if (pa_mainloop_prepare(m_loop, timeoutMs < 0 ? -1 : timeoutMs * 1000) < 0)
        return false;
    if (pa_mainloop_poll(m_loop) < 0)
        return false;
    return pa_mainloop_dispatch(m_loop) >= 0;
}

void PlatformPulseConnection::wakeup()
{
    if (m_loop)
        pa_mainloop_wakeup(m_loop);
}

bool PlatformPulseConnection::isConnected() const
{
    return m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY;
}
