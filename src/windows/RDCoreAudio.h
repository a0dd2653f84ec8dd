#pragma once

#include "RDCoreDevice.h"

#include <QVector>

// Directions of sound endpoints, as the device lists take them; the value
// is the RDCoreDevice type of the endpoints listed.
enum RDAudioFlow {
    eCapture = 0,
    eRender = 1,
};

// Endpoints that are present and usable.
constexpr unsigned DEVICE_STATE_ACTIVE = 0x1;

// Endpoints of one direction with a readable name, in the sound server's
// order, each with `type` = `flow`; empty when the server cannot be asked
// or `stateMask` asks for no active endpoints.
QVector<RDCoreDevice> getDevices(RDAudioFlow flow, unsigned stateMask);
// The active capture endpoints.
QVector<RDCoreDevice> getInputDevices();
// The active capture endpoints, then the active render endpoints.
QVector<RDCoreDevice> getAllDevices();
