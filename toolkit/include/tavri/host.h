// Start and end of the window host. Start-up calls these around the main
// window's run; nothing else in the program touches the host's life cycle.
#pragma once

#include "tavri/types.h"

// Creates the host's application object. Returns false when no display can be
// reached; the caller decides whether to go on without windows.
TAVRI_EXPORT bool HostInitialize(int& argc, char** argv);
TAVRI_EXPORT void HostShutdown();
TAVRI_EXPORT bool HostIsInitialized();
