#include "PlatformAudioBackend.h"

#include "PlatformPulseAudioBackend.h"

#include <atomic>

namespace {
std::atomic<PlatformAudioBackend *> g_testing{nullptr};
} // namespace

PlatformAudioBackend *PlatformAudioBackend::instance()
{
    if (PlatformAudioBackend *b = g_testing.load())
        return b;
    static PlatformPulseAudioBackend system;
    return &system;
}

void PlatformAudioBackend::setInstanceForTesting(PlatformAudioBackend *backend)
{
    g_testing.store(backend);
}
