// What the entry points of windows/msvc_runtime share: the image's static initialisers and its
// exit list.
#pragma once

#include <stdlib.h>

extern "C" {
typedef void(__cdecl* KestraneExitFunction)(void);
// Ours, not the runtime's imported one: the image's own exit list.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Winconsistent-dllimport"
int __cdecl atexit(KestraneExitFunction function);
#pragma clang diagnostic pop
}

// Calls the compiler's dynamic initialisers of this image, in link order.
void kestraneRunInitialisers();
// Calls the functions given to atexit, the last registered first, and empties the list.
void kestraneRunExitFunctions();
