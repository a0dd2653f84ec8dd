#include "PlatformPulseAudioBackend.h"

#include "PlatformPulseAudioStream.h"
#include "PlatformPulseConnection.h"

#include <chrono>
#include <pulse/introspect.h>
#include <pulse/operation.h>

namespace {
constexpr int kListTimeoutMs = 3000;

struct ListState {
    std::vector<PlatformAudioEndpoint> *out;
    int type;
    bool done = false;
};

void addEndpoint(ListState *state, const char *name, const char *description)
{
    PlatformAudioEndpoint e;
    e.id = name ? name : "";
    e.name = description ? description : "";
    e.type = state->type;
    state->out->push_back(e);
}

void onSource(pa_context *, const pa_source_info *info, int eol, void *userdata)
{
    ListState *state = static_cast<ListState *>(userdata);
    if (eol) {
        state->done = true;
        return;
    }
    if (info && info->monitor_of_sink == PA_INVALID_INDEX)
        addEndpoint(state, info->name, info->description);
}

void onSink(pa_context *, const pa_sink_info *info, int eol, void *userdata)
{
    ListState *state = static_cast<ListState *>(userdata);
    if (eol) {
        state->done = true;
        return;
    }
    if (info)
        addEndpoint(state, info->name, info->description);
}
} // namespace

bool PlatformPulseAudioBackend::listEndpoints(int type, std::vector<PlatformAudioEndpoint> *out)
{
    PlatformPulseConnection connection;
    if (!connection.connect(kListTimeoutMs))
        return false;
    ListState state{out, type};
    pa_operation *op = type == 0 ? pa_context_get_source_info_list(connection.context(), onSource, &state)
                                 : pa_context_get_sink_info_list(connection.context(), onSink, &state);
    if (!op)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kListTimeoutMs);
    while (!state.done && pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !connection.iterate(int(left)))
            break;
    }
    pa_operation_cancel(op);
    pa_operation_unref(op);
    return state.done;
}

std::unique_ptr<PlatformAudioStream> PlatformPulseAudioBackend::openCapture(const std::string &id, bool loopback,
                                                                            int bufferMs, Error *error)
{
    if (id.empty()) {
        *error = Error::NoDevice;
        return nullptr;
    }
    return PlatformPulseAudioStream::openRecord(loopback ? id + ".monitor" : id, bufferMs, error);
}

std::unique_ptr<PlatformAudioStream> PlatformPulseAudioBackend::openPlayback(int bufferMs, int periodMs, Error *error)
{
    return PlatformPulseAudioStream::openPlayback(bufferMs, periodMs, error);
}
