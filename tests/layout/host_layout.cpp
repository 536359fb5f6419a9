// Compiled, not run: the host interface's static_asserts on the records the simulator reads
// and writes, for the architecture the compiler is set to.
#include "host/host.h"
