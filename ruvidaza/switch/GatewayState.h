#pragma once

#include "SwitchConfig.h"

// A gateway the switch runs, with its registration state as shown by
// "sofia xmlstatus gateway" (TRYING, REGED, FAIL_WAIT, UNREGED, NOREG).
struct GatewayState
{
    GatewayConfig config;
    QString state;
};
