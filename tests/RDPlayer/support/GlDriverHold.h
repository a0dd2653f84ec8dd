#pragma once

// Mesa's software driver keeps a few bytes until exit and is unloaded before
// the leak check, which then reports them as lost. Kept loaded, they stay
// reachable from the driver's own globals. Call before the first GL widget
// is shown; calls after the first do nothing.
void keepGlDriverLoaded();
