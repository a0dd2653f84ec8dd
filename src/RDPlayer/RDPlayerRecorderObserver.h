#pragma once

class RDPlayerRecorder;

// What a screen learns from a recorder. Statuses: 0 recording began on a key
// frame; 1 recording ended and the file is closed; 2 setting up or writing
// failed; 3 a video packet was written (current = seconds recorded, total
// -1.0). Called on the recorder's thread.
class RDPlayerRecorderObserver
{
public:
    virtual ~RDPlayerRecorderObserver() = default;
    virtual void onRecorderStatusChanged(RDPlayerRecorder *recorder, int status, double current, double total) = 0;
};
