#pragma once

#include <string>

// One sound endpoint as the sound server lists it: its id, its readable
// name (may be empty) and its direction (0 capture, 1 render).
struct PlatformAudioEndpoint {
    std::string id;
    std::string name;
    int type = 0;
};
