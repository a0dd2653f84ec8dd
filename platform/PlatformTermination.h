#pragma once

#include <functional>

// Orderly end on the system's request (SIGTERM, SIGINT, SIGHUP): the handler
// runs on the thread of the Qt event loop that installed it, never inside the
// signal itself, so it may use any Qt call.
namespace Platform {

// Installs the handler (replacing an earlier one). Needs a running or
// upcoming Qt event loop on the calling thread. False when the wake-up
// channel cannot be made; the signals keep their default action then.
bool installTerminationHandler(const std::function<void()> &handler);
// Restores the default actions and drops the handler.
void removeTerminationHandler();

} // namespace Platform
