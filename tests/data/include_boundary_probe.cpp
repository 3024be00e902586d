// Compiled with the include path of the library, the glow stages or an effect by the
// include-boundary tests.
#include "library/utility/color.h"
#include "morvel_host/host.h"

#ifdef MORVEL_PROBE_HEADER
#include MORVEL_PROBE_HEADER
#endif

#ifdef MORVEL_PROBE_SIMULATED_HOST
#include "host/sim/host.h"
#endif

int main() { return 0; }
