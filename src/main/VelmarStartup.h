#pragma once

#include "RDNetworkAdapter.h"

#include <QString>

#include <functional>

// Start-up and shut-down of the program, in the order main() runs them:
// initGlobals, startFS, (event loop), stopFS, uninitGlobals.

// Log, databases (checked, upgraded, default zone), setting defaults,
// languages, the switch manager and the central object. Returns true.
bool initGlobals();
// Network settings, the SIP manager, the switch folder, port checks, and the
// start of the switch manager. `keepRunning` is the main window's flag; the
// network wait gives up when it is cleared. Returns true.
bool startFS(bool *keepRunning);
// Stops the switch manager (the switch is shut down) and the SIP manager.
void stopFS();
// The central object (and its services), the switch manager, the log.
void uninitGlobals();

// Adds a folder to the process's PATH.
void appendToPath(const QString &folder);
// `path` with `folder` appended as a new entry, joined by the platform's
// list separator; an empty or separator-ended value gets no empty entry.
QString appendedPath(const QString &path, const QString &folder);

// Fills each of the three empty texts from the adapter that `adapter` gives,
// and repeats every `retryMs` (keeping the window painted meanwhile) until
// all three are set or `*keepRunning` is cleared. `adapter` is not asked at
// all when the three are set already. Without `keepRunning` nothing is done.
// True when all three are set.
bool waitForNetwork(QString &internalIp, QString &internalNetmask, QString &externalIp, const bool *keepRunning,
                    const std::function<RDNetworkAdapter()> &adapter, int retryMs = 2000);

// The whole program: main() hands over to it.
int velmarMain(int argc, char *argv[]);
