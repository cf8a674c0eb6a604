#include "tavri/host.h"

// The window host arrives with the toolkit's windows; until then there is no
// application object to create and start-up goes straight on.
namespace {
bool g_initialized = false;
}

bool HostInitialize(int&, char**) {
    g_initialized = true;
    return true;
}

void HostShutdown() { g_initialized = false; }

bool HostIsInitialized() { return g_initialized; }
