#pragma once

// Mesa's software driver keeps a few bytes until exit and is unloaded before
// the leak check, which then reports them as lost. Kept loaded, they stay
// reachable from the driver's own globals. GL tests call keepLoaded() first.
class GlDriverKeeper
{
public:
    static void keepLoaded();
};
