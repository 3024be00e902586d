// Compiled with the include path of the library, the glow stages, an effect or the simulated host
// by the include-boundary tests. The host builds without the library.
#ifndef MORVEL_PROBE_FROM_HOST
#include "library/utility/color.h"
#endif
#include "morvel_host/host.h"

#ifdef MORVEL_PROBE_HEADER
#include MORVEL_PROBE_HEADER
#endif

#ifdef MORVEL_PROBE_SIMULATED_HOST
#include "host/sim/host.h"
#endif

int main() { return 0; }
